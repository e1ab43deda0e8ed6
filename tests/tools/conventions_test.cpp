#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/support/tool_runner.h"
#include "tools/progress_line.h"

namespace {

namespace fs = std::filesystem;

using ToolConventions = dm::test::ToolTest;

// What a bash script printed on standard output, run in the folder.
std::string runBash(const fs::path& folder, const std::string& script) {
    const fs::path file = folder / ".script.sh";
    std::ofstream(file) << script;
    const std::string cmd =
        "cd " + dm::test::shellQuote(folder.string()) + " && bash " + file.filename().string();
    std::string out;
    if (FILE* pipe = ::popen(cmd.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    fs::remove(file);
    return out;
}

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

// Each case: the words typed so far (the last one being completed) and what bash offers.
TEST_F(ToolConventions, BashCompletionOffersCommandsOptionsValuesAndFiles) {
    fs::create_directory(dir_ / "scans");
    std::ofstream(dir_ / "scan.png") << "";
    const struct {
        const char* words;
        const char* offered;
    } cases[] = {
        {"de", "decode"},
        {"", "decode encode eval grade"},
        {"--v", "--version"},
        {"decode --j", "--json"},
        {"decode --", "--all --frame --help --json --most --raw --threads"},
        {"encode --st", "--structured-append"},
        {"eval -", "--help --html --jobs --memory -h -j"},
        {"grade --light g", "green"},
        {"encode --shape ''", "any rect square"},
        {"encode --format p", "png"},
        {"encode --module ''", ""},
        {"decode sc", "scan.png scans"},
        {"grade --report sc", "scan.png scans"},
        {"eval sc --html sc", "scan.png scans"},
        {"eval sc", "scans"},
        {"encode -o sc", "scan.png scans"},
        {"decode -- --j", ""},
    };
    // clang-format off
    std::string script = "source " + dm::test::shellQuote(DM_BASH_COMPLETION) + R"sh(
offered() {
    eval "COMP_WORDS=(dmcodec $1)"
    [[ $1 == *" " || -z $1 ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _dmcodec
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
}
)sh";
    // clang-format on
    for (const auto& c : cases)
        script += "offered " + dm::test::shellQuote(c.words) + "\n";
    std::istringstream lines(runBash(dir_, script));
    for (const auto& c : cases) {
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, c.offered) << "dmcodec " << c.words << "<TAB>";
    }
}

TEST_F(ToolConventions, EveryCommandHasAManualPageNamingItsOptions) {
#ifndef DM_MAN_DIR
    GTEST_SKIP() << "built without help2man";
#else
    for (const std::string command : {"", "encode", "decode", "eval", "grade"}) {
        const std::string page = command.empty() ? "dmcodec" : "dmcodec-" + command;
        std::ifstream in(fs::path(DM_MAN_DIR) / (page + ".1"));
        ASSERT_TRUE(in) << page;
        std::string roff((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        roff = std::regex_replace(roff, std::regex(R"(\\-)"), "-");
        std::string title = page;
        for (char& ch : title)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_NE(roff.find(".TH " + title + " \"1\""), std::string::npos) << page;
        // Every option the command's help names is on its page.
        const std::string help = run(command + " --help").out;
        const std::regex option(R"(\n  (-[-a-z]+))");
        int options = 0;
        for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
             it != std::sregex_iterator(); ++it, ++options)
            EXPECT_NE(roff.find((*it)[1].str()), std::string::npos) << page << ": " << (*it)[1];
        EXPECT_GE(options, 2) << page;
        EXPECT_EQ(roff.find(DM_TOOL_PATH), std::string::npos) << page << " names the build folder";
    }
#endif
}

TEST(ProgressText, GivesTheCountTheRateAndTheTimeLeft) {
    const struct {
        size_t done, total;
        double seconds;
        const char* text;
    } cases[] = {
        {0, 10, 5.0, "[0/10]"},
        {3, 10, 0.5, "[3/10]"},  // too early for a rate
        {5, 20, 2.0, "[5/20] 2.5 files/s, 0:06 left"},
        {30, 100000, 2.0, "[30/100000] 15 files/s, 1:51:05 left"},
        {1, 200, 70.0, "[1/200] 0.0 files/s, 3:52:10 left"},
        {300, 300, 60.0, "[300/300] 5.0 files/s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dm::tool::progressText(c.done, c.total, c.seconds, "files"), c.text)
            << c.done << "/" << c.total << " after " << c.seconds << " s";
}

TEST_F(ToolConventions, ProgressShowsOnATerminalOnlyForSeveralFiles) {
    ASSERT_EQ(run("encode first -o a.png").exitCode, 0);
    ASSERT_EQ(run("encode second -o b.png").exitCode, 0);
    fs::create_directory(dir_ / "samples");
    fs::copy_file(dir_ / "a.png", dir_ / "samples" / "a.png");
    fs::copy_file(dir_ / "b.png", dir_ / "samples" / "b.png");
    std::ofstream(dir_ / "samples" / "a.txt") << "first";
    std::ofstream(dir_ / "samples" / "b.txt") << "second";

    // Standard error to a file: results and messages only.
    for (const char* args : {"decode a.png b.png", "grade a.png b.png", "eval samples"}) {
        const auto r = run(args);
        EXPECT_EQ(r.exitCode, 0) << args << ": " << r.err;
        EXPECT_EQ(r.err, "") << args;
    }

    // On a terminal (script gives the tool one): the line below the results, cleared at the end.
    const std::string tool = dm::test::shellQuote(DM_TOOL_PATH);
    const auto onTerminal = [&](const std::string& args) {
        return runBash(dir_, "script -qec " + dm::test::shellQuote(tool + " " + args) +
                                 " /dev/null </dev/null");
    };
    for (const char* args : {"decode a.png b.png", "grade a.png b.png", "eval samples"}) {
        const std::string out = onTerminal(args);
        EXPECT_NE(out.find("\r\033[K[2/2]"), std::string::npos) << args << ": " << out;
        const size_t last = out.rfind("[2/2]");
        EXPECT_NE(out.find("\r\033[K", last), std::string::npos) << args << " leaves its line";
    }
    const std::string decoded = onTerminal("decode a.png b.png");
    EXPECT_NE(decoded.find("a.png: first"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("b.png: second"), std::string::npos) << decoded;
    EXPECT_EQ(onTerminal("decode a.png").find("[1/1]"), std::string::npos);
}

}  // namespace
