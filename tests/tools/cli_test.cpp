#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "tests/support/peer_encoders.h"
#include "tests/support/peer_readers.h"

#include "tests/support/temp_dir.h"

namespace {

using dm::test::bytesOf;

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& p) {
    const std::vector<uint8_t> bytes = dm::test::readFile(p);
    return {bytes.begin(), bytes.end()};
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class CommandLine : public dm::test::TempDirTest {
  protected:
    // Runs the tool in the temp folder with the given arguments (already quoted as needed).
    RunResult run(const std::string& args, const std::string& input = "") {
        const fs::path in = dir_ / ".stdin", out = dir_ / ".stdout", err = dir_ / ".stderr";
        std::ofstream(in, std::ios::binary) << input;
        const std::string cmd = "cd " + quote(dir_.string()) + " && " + quote(DM_TOOL_PATH) + " " +
                                args + " <" + quote(in.string()) + " >" + quote(out.string()) +
                                " 2>" + quote(err.string());
        const int status = std::system(cmd.c_str());
        RunResult r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        fs::remove(in);
        fs::remove(out);
        fs::remove(err);
        return r;
    }
};

TEST_F(CommandLine, EncodeWritesTheDefaultFileAndReportsTheSize) {
    const auto r = run("encode Hello");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "12x12 symbol written to 条码测试.jpg\n");
    EXPECT_TRUE(fs::exists(dir_ / "条码测试.jpg"));
}

TEST_F(CommandLine, EncodePrintsTheCodewordStream) {
    const auto r = run("encode --codewords -o a.jpg 123456");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "142 164 186 114 25 5 88 102\n10x10 symbol written to a.jpg\n");
}

TEST_F(CommandLine, EncodeConvertsUtf8ToGbkUnlessRaw) {
    const auto gbk = run("encode --codewords -o a.jpg 中");  // GBK D6 D0
    EXPECT_EQ(gbk.exitCode, 0) << gbk.err;
    EXPECT_EQ(gbk.out.substr(0, 14), "235 87 235 81 ");
    const auto raw = run("encode --raw --codewords -o a.jpg 中");  // UTF-8 E4 B8 AD
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out.substr(0, 20), "235 101 235 57 235 4");
}

TEST_F(CommandLine, EncodeReadsStandardInputAndFilesByteForByte) {
    const auto fromStdin = run("encode --codewords -o a.jpg", "AB\r\n");
    EXPECT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.out.substr(0, 12), "66 67 14 11 ");
    std::ofstream(dir_ / "msg.bin", std::ios::binary) << std::string("\x00\xFF", 2);
    const auto fromFile = run("encode --raw --codewords --file msg.bin -o a.jpg");
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(fromFile.out.substr(0, 10), "1 235 128 ");  // NUL is data, not a terminator
}

TEST_F(CommandLine, EncodeRejectsBadInputWithClearMessages) {
    struct Case {
        std::string args;
        std::string input;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"encode ''", "", "empty"},
        {"encode --file missing.txt", "", "cannot read 'missing.txt'"},
        {"encode " + std::string(1559, 'a'), "", "needs 1559 codewords; 1,558 is the most"},
        {"encode --raw", std::string(3117, '1'), "at most 3116 bytes"},
        {"encode --module 0 x", "", "module size must be 1 to 20"},
        {"encode --module 21 x", "", "module size must be 1 to 20"},
        {"encode --quiet 21 x", "", "quiet zone must be 0 to 20"},
        {"encode -o no/such/folder/a.jpg x", "", "cannot write 'no/such/folder/a.jpg'"},
        {"encode 'ok 😀'", "", "first offending character '😀'"},
    };
    for (const auto& c : cases) {
        const auto r = run(c.args, c.input);
        EXPECT_NE(r.exitCode, 0) << c.args.substr(0, 40);
        EXPECT_NE(r.err.find(c.message), std::string::npos)
            << c.args.substr(0, 40) << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "条码测试.jpg"));
}

TEST_F(CommandLine, DecodeReadsWhatEncodeWrote) {
    ASSERT_EQ(run("encode -o a.jpg 'Data Matrix 数据'").exitCode, 0);
    const auto r = run("decode a.jpg");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Data Matrix 数据\n");
    const auto json = run("decode --json a.jpg");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(
        json.out.find("\"ok\":true,\"status\":1,\"meaning\":\"success\",\"symbol\":\"20x20\""),
        std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"text\":\"Data Matrix 数据\""), std::string::npos) << json.out;
}

// A 244-pixel image is not enlarged for the camera, but its 2-pixel modules are too fine for
// the finder: the tool tries larger factors too.
TEST_F(CommandLine, DecodeEnlargesImagesWhoseModulesAreTooFine) {
    std::string digits;
    for (int i = 0; i < 2000; ++i)
        digits += static_cast<char>('0' + i % 10);
    ASSERT_EQ(run("encode --module 2 --quiet 1 -o fine.jpg " + digits).exitCode, 0);
    const auto r = run("decode --json fine.jpg");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\"symbol\":\"120x120\",\"text\":\"" + digits + "\""), std::string::npos)
        << r.out;
}

TEST_F(CommandLine, DecodeReportsUnreadableFilesAndFailsOverall) {
    std::ofstream(dir_ / "junk.png") << "not an image at all";
    ASSERT_EQ(run("encode -o a.jpg fine").exitCode, 0);
    const auto r = run("decode a.jpg junk.png missing.bmp");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("a.jpg: fine"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("junk.png: cannot read image: not a JPEG, PNG or BMP image"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("missing.bmp: cannot read image: no such file"), std::string::npos)
        << r.err;
}

// Symbols written by zint: text in two ECI character sets, and GS1 data seen in a mirror.
TEST_F(CommandLine, DecodePrintsEciTextAndDescribesTheMessageInJson) {
    auto write = [&](const std::string& name, const std::optional<dm::test::PeerSymbol>& symbol,
                     bool mirrored) {
        ASSERT_TRUE(symbol.has_value());
        ASSERT_TRUE(dm::test::writePng(
            (dir_ / name).string(),
            dm::test::drawModules(symbol->matrix, symbol->rows, symbol->cols, 5, 4, mirrored)));
    };
    fs::create_directories(dir_ / "set");
    const dm::test::ZintSegment segments[] = {{3, "Grüße "}, {7, "Привет"}};
    write("set/eci.png", dm::test::encodeWithZintSegments(segments), false);
    dm::test::ZintOptions gs1;
    gs1.input = dm::test::ZintInput::Gs1;
    write("set/gs1.png", dm::test::encodeWithZint(bytesOf("[10]AB-123[01]09501101530003"), gs1),
          true);

    EXPECT_EQ(run("decode set/eci.png").out, "Grüße Привет\n");
    EXPECT_EQ(run("decode --raw set/eci.png").out,
              "Gr\xFC\xDF"
              "e \xBF\xE0\xD8\xD2\xD5\xE2\n");
    const auto json = run("decode --json set/eci.png set/gs1.png");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    for (const char* member :
         {"\"text\":\"Grüße Привет\"", "\"symbologyIdentifier\":\"]d4\"",
          "\"eci\":[{\"eci\":3,\"begin\":0,\"characterSet\":\"ISO-8859-1\"},"
          "{\"eci\":7,\"begin\":6,\"characterSet\":\"ISO-8859-5\"}]",
          "\"text\":\"10AB-123\\u001d0109501101530003\"", "\"symbologyIdentifier\":\"]d2\"",
          "\"gs1\":true", "\"gs1Text\":\"(10)AB-123(01)09501101530003\"", "\"mirrored\":true"}) {
        EXPECT_NE(json.out.find(member), std::string::npos) << member << " in " << json.out;
    }

    // eval compares the same text.
    std::ofstream(dir_ / "set/eci.txt") << "Grüße Привет";
    std::ofstream(dir_ / "set/gs1.txt") << "10AB-123\x1D"
                                           "0109501101530003";
    const auto eval = run("eval set");
    EXPECT_EQ(eval.exitCode, 0) << eval.out;
    EXPECT_NE(eval.out.find("decoded 2/2"), std::string::npos) << eval.out;
}

TEST_F(CommandLine, EvalComparesEveryImageWithItsText) {
    fs::create_directories(dir_ / "set");
    ASSERT_EQ(run("encode -o set/one.jpg first").exitCode, 0);
    ASSERT_EQ(run("encode -o set/two.jpg second").exitCode, 0);
    ASSERT_EQ(run("encode -o set/three.jpg third").exitCode, 0);
    std::ofstream(dir_ / "set/one.txt") << "first";
    std::ofstream(dir_ / "set/two.txt") << "second";
    std::ofstream(dir_ / "set/three.txt") << "not what it says";
    const auto r = run("eval --jobs 2 set");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("FAIL three.jpg: decoded \"third\", expected \"not what it says\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("decoded 2/3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("status  1:    3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("median "), std::string::npos);
    EXPECT_NE(run("eval no-such-dir").err.find("is not a folder"), std::string::npos);
}

TEST_F(CommandLine, EverySubcommandHasHelp) {
    for (const char* cmd : {"--help", "encode --help", "decode --help", "eval --help"}) {
        const auto r = run(cmd);
        EXPECT_EQ(r.exitCode, 0) << cmd;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
    }
    EXPECT_NE(run("").exitCode, 0);
}

}  // namespace
