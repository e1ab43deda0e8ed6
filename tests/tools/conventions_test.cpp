#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/tool_runner.h"

namespace {

namespace fs = std::filesystem;

using ToolConventions = dm::test::ToolTest;

TEST_F(ToolConventions, VersionNamesTheProjectVersionAndTheCheckout) {
    const auto r = run("--version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    const std::regex expected("dmcodec " +
                              std::regex_replace(DM_PROJECT_VERSION, std::regex("\\."), "\\.") +
                              "( \\(git [^ ()]+\\))?\n");
    EXPECT_TRUE(std::regex_match(r.out, expected)) << r.out;
    EXPECT_NE(run("--help").out.find("--version"), std::string::npos);
}

}  // namespace
