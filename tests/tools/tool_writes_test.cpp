// What the tool writes, and where: files whole or not at all, standard output checked, the
// image on standard output, file types by name or --format.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/peer_readers.h"
#include "tests/support/tool_runner.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

using ToolWrites = test::ToolTest;

std::string slurp(const fs::path& path) {
    const std::vector<uint8_t> bytes = test::readFile(path);
    return {bytes.begin(), bytes.end()};
}

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1a\n";

// Each case: the exit status, a part of the message, and whether anything was written where
// the command failed.
TEST_F(ToolWrites, FailedWritesAndRefusedNamesSayWhyAndLeaveNothing) {
    ASSERT_EQ(run("encode -o a.png first").exitCode, 0);
    std::ofstream(dir_ / "a.txt") << "first";
    struct Case {
        std::string args;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        // Standard output that cannot be written is a failure, from every command.
        {"encode --codewords -o s.png x >/dev/full", 1,
         "cannot write to standard output: no space left"},
        {"encode --codewords -o s.png x >&-", 1, "cannot write to standard output: it is closed"},
        {"decode a.png >/dev/full", 1, "cannot write to standard output: no space left"},
        {"decode --raw a.png >&-", 1, "standard output: it is closed"},
        {"decode --json a.png >/dev/full", 1, "standard output: no space left"},
        {"grade a.png >/dev/full", 1, "standard output: no space left"},
        {"eval . >/dev/full", 1, "standard output"},
        {"encode -o - x >/dev/full", 1, "standard output: no space left"},
        // Names of file types the tool does not write.
        {"encode -o b.gif x", 2, "cannot write .gif files"},
        {"encode -o b.BMP x", 2, "cannot write .bmp files"},
        {"grade --report r.jpg a.png", 2, "the report is a PNG picture; name it .png, not .jpg"},
        {"grade --report r.svg a.png", 2, "name it .png, not .svg"},
        {"grade --report '' a.png", 2, "the --report file name is empty"},
        {"encode -o '' x", 2, "the output file name is empty"},
        // Standard output holds one image and nothing else.
        {"encode --structured-append 2 -o - abcd", 2, "name a file, not standard output"},
        {"encode --codewords -o - x", 2, "where the image goes"},
        // The report on a device is written in place; the device stays.
        {"grade --report /dev/full a.png", 1, "/dev/full: cannot write the report: no space left"},
        // Small usage errors in the tool's own words.
        {"encode --module 0x10 x", 2, "--module: takes a whole number in decimal, not '0x10'"},
        {"encode --eci abc x", 2, "--eci: takes a whole number in decimal, not 'abc'"},
        {"encode --file '' -o b.png", 2, "the --file name is empty"},
        {"decode -x", 2, "unknown option '-x'; a file whose name starts with '-' goes after --"},
        {"decode -dash.png", 2, "as in: dmcodec decode -- -dash.png"},
    };
    for (const Case& c : cases) {
        const test::ToolRun r = run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_EQ(run("decode a.png").out, "first\n");
    for (const char* name : {"b.png", "b.gif", "b.BMP", "r.jpg", "r.svg", "-", "-1"})
        EXPECT_FALSE(fs::exists(dir_ / name)) << name;
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(ToolWrites, TheImageGoesToStandardOutputByDashOrDevStdout) {
    const test::ToolRun png = run("encode -o - Hello");
    EXPECT_EQ(png.exitCode, 0) << png.err;
    EXPECT_TRUE(png.out.starts_with(kPngSignature));
    EXPECT_FALSE(fs::exists(dir_ / "-"));
    std::ofstream(dir_ / "piped.png", std::ios::binary) << png.out;
    EXPECT_EQ(run("decode piped.png").out, "Hello\n");

    const test::ToolRun svg = run("encode --format svg -o - Hello");
    EXPECT_TRUE(svg.out.starts_with("<?xml")) << svg.out.substr(0, 20);
    const test::ToolRun jpeg = run("encode --format jpeg -o - Hello");
    EXPECT_TRUE(jpeg.out.starts_with("\xFF\xD8\xFF"));

    // /dev/stdout into a pipe, where no path leads to the file.
    const test::ToolRun piped = run("encode -o /dev/stdout Piped | cat");
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_TRUE(piped.out.starts_with(kPngSignature));
    std::ofstream(dir_ / "piped.png", std::ios::binary) << piped.out;
    EXPECT_EQ(run("decode piped.png").out, "Piped\n");

    // --format decides whatever the name says.
    ASSERT_EQ(run("encode --format png -o named.jpg Named").exitCode, 0);
    EXPECT_TRUE(slurp(dir_ / "named.jpg").starts_with(kPngSignature));
}

// A series is drawn and written to temporary files before any file is replaced: when one name
// cannot be written, no file of the series changes.
TEST_F(ToolWrites, ASeriesIsWrittenWholeOrNotAtAll) {
    ASSERT_EQ(run("encode -o part-1.png old").exitCode, 0);
    fs::create_directories(dir_ / "part-3.png");
    const test::ToolRun r = run("encode --structured-append 3 -o part.png 'ONE TWO THREE'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write 'part-3.png': is a folder; no file of the series was "
                         "written"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(run("decode part-1.png").out, "old\n");
    EXPECT_FALSE(fs::exists(dir_ / "part-2.png"));
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".dm-")) << entry.path();
}

// A report replaces its file as encode does: a link stays a link, the file it leads to is
// written.
TEST_F(ToolWrites, AReportKeepsTheLinkItIsWrittenThrough) {
    ASSERT_EQ(run("encode -o a.png linked").exitCode, 0);
    std::ofstream(dir_ / "real.png") << "old";
    fs::create_symlink("real.png", dir_ / "link.png");
    const test::ToolRun r = run("grade --report link.png a.png");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
    EXPECT_TRUE(slurp(dir_ / "real.png").starts_with(kPngSignature));
}

// A writable file in a folder that takes no new files is written in place. As root the tool
// runs as nobody (with setpriv) so that the folder's permissions apply.
TEST_F(ToolWrites, AWritableFileInAReadOnlyFolderIsReplacedInPlace) {
    fs::create_directories(dir_ / "locked");
    std::ofstream(dir_ / "locked" / "s.png") << "old";
    fs::permissions(dir_ / "locked" / "s.png", fs::perms::all);
    fs::permissions(dir_ / "locked", fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
    std::string prefix;
    if (geteuid() == 0) {
        if (std::system("setpriv --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "running with privileges that ignore permissions";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        fs::permissions(dir_, fs::perms::others_exec, fs::perm_options::add);
    }
    const std::string command = "cd " + test::shellQuote(dir_.string()) + " && " + prefix +
                                test::shellQuote(DM_TOOL_PATH) +
                                " encode -o locked/s.png InPlace >/dev/null 2>err";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 0) << slurp(dir_ / "err");
    EXPECT_EQ(run("decode locked/s.png").out, "InPlace\n");
    EXPECT_EQ(fs::status(dir_ / "locked" / "s.png").permissions() & fs::perms::all, fs::perms::all);
}

}  // namespace
}  // namespace dm
