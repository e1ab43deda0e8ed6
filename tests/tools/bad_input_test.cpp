// The tool under the inputs people really pass: paths that are not files, endless devices,
// thin, blank and huge images, long names, malformed text. Each gives one clear message and
// the right exit status, within a gigabyte of address space.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "encoder/jpeg_output.h"
#include "encoder/symbol_renderer.h"
#include "tests/support/peer_readers.h"
#include "tests/support/tool_runner.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

constexpr long kOneGiB = 1024 * 1024;  // in KiB, for ulimit -v

// A gray picture of one shade, or of single black and white pixels at random.
void writePicture(const fs::path& path, int width, int height, bool noise = false) {
    test::GrayPicture picture{width, height,
                              std::vector<uint8_t>(static_cast<size_t>(width) * height, 255)};
    std::mt19937 random(11);
    for (uint8_t& v : picture.pixels)
        v = noise && random() % 2 ? 0 : 255;
    ASSERT_TRUE(test::writePng(path.string(), picture));
}

// A white page of side x side pixels with the symbol of text printed at (left, top).
void writePageWithSymbol(const fs::path& path, int side, const std::string& text, int left,
                         int top) {
    const auto symbol =
        RenderSymbol(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 8, 2);
    ASSERT_TRUE(symbol);
    const SymbolImage& s = symbol->image;
    test::GrayPicture page{side, side, std::vector<uint8_t>(static_cast<size_t>(side) * side, 255)};
    for (int y = 0; y < s.height; ++y) {
        std::copy_n(&s.pixels[static_cast<size_t>(y) * s.width], s.width,
                    &page.pixels[static_cast<size_t>(top + y) * side + left]);
    }
    ASSERT_TRUE(test::writePng(path.string(), page));
}

void putBigEndian(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t c = ~0u;
    while (n--) {
        c ^= *p++;
        for (int k = 0; k < 8; ++k)
            c = c >> 1 ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

// A small valid PNG or JPEG whose header then claims width x height pixels.
void writeClaiming(const fs::path& path, int width, int height) {
    std::vector<uint8_t> file;
    if (path.extension() == ".png") {
        writePicture(path, 1, 1);
        file = test::readFile(path);
        // The header chunk's size fields at 16 and 20, its checksum (over type and data) at 29.
        putBigEndian(&file[16], width, 4);
        putBigEndian(&file[20], height, 4);
        putBigEndian(&file[29], crc32(&file[12], 17), 4);
    } else {
        file = compressJpeg({std::vector<uint8_t>(64, 255), 8, 8});
        const uint8_t frameMarker[] = {0xFF, 0xC0};  // then length, precision, height, width
        const auto frame = std::search(file.begin(), file.end(), frameMarker, frameMarker + 2);
        ASSERT_NE(frame, file.end());
        putBigEndian(&frame[5], height, 2);
        putBigEndian(&frame[7], width, 2);
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

using BadInput = test::ToolTest;

TEST_F(BadInput, EveryCaseGivesOneClearMessageAndTheRightStatus) {
    fs::create_directories(dir_ / "folder");
    ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    fs::create_directories(dir_ / "set" / "a.txt");  // a folder where a text should be
    ASSERT_EQ(run("encode -o set/a.jpg first").exitCode, 0);
    ASSERT_EQ(run("encode -o set/b.jpg second").exitCode, 0);
    std::ofstream(dir_ / "set" / "b.txt") << "second";
    fs::create_directories(dir_ / "set" / "c.png");  // a folder named like an image
    std::ofstream(dir_ / "set" / "c.txt") << "third";
    std::ofstream(dir_ / "sparse.png").close();
    fs::resize_file(dir_ / "sparse.png", std::uintmax_t{300} << 20);
    std::ofstream(dir_ / "sparse.txt").close();
    fs::resize_file(dir_ / "sparse.txt", std::uintmax_t{1} << 30);
    writePicture(dir_ / "200x1.png", 200, 1);
    writePicture(dir_ / "1000x1.png", 1000, 1);
    writePicture(dir_ / "5000x20.png", 5000, 20);
    writePicture(dir_ / "30000x1.png", 30000, 1);
    writeClaiming(dir_ / "30000x30000.png", 30000, 30000);
    writeClaiming(dir_ / "60000x60000.jpg", 60000, 60000);
    writePicture(dir_ / "16384x8.png", 16384, 8, true);
    writePicture(dir_ / "8x4000.png", 8, 4000, true);
    const std::string name255(251, 'n'), name256(252, 'n');

    struct Case {
        std::string args;
        std::string input;
        int exitCode;
        std::string message;  // found in what the tool printed
    };
    const std::vector<Case> cases = {
        // Paths that are not regular files, from every command.
        {"encode --file folder", "", 1, "encode: cannot read 'folder': is a folder"},
        {"decode folder", "", 1, "folder: cannot read image: is a folder"},
        {"eval set", "", 1, "FAIL a.jpg: cannot read a.txt: is a folder"},
        {"eval set", "", 1, "FAIL c.png: cannot read image: is a folder"},
        {"eval set", "", 1, "decoded 1/3"},
        {"eval folder/missing", "", 1, "cannot open 'folder/missing': no such folder"},
        {"eval 200x1.png", "", 1, "'200x1.png' is not a folder"},
        {"eval folder", "", 1, "no images with a NAME.txt"},
        {"decode /dev/zero", "", 1, "/dev/zero: cannot read image: is a device"},
        {"encode --file /dev/zero", "", 1, "cannot read '/dev/zero': is a device"},
        {"encode -o a.jpg </dev/zero", "", 1, "the text is longer than 9351 bytes"},
        {"encode -o a.jpg <folder", "", 1, "cannot read standard input: is a folder"},
        {"decode pipe", "", 1, "pipe: cannot read image: is a FIFO"},
        {"encode --file pipe", "", 1, "cannot read 'pipe': is a FIFO"},
        {"decode missing.png", "", 1, "missing.png: cannot read image: no such file"},
        {"encode --file missing.txt", "", 1, "cannot read 'missing.txt': no such file"},
        {"decode sparse.png", "", 1, "larger than 256 MiB"},
        {"encode --file sparse.txt", "", 1, "the text is longer than 9351 bytes"},
        // Thin, blank and huge images.
        {"decode 200x1.png", "", 1, "200 x 1 pixels, too small to hold a symbol"},
        {"decode 1000x1.png", "", 1, "1000 x 1 pixels, too small to hold a symbol"},
        {"decode 5000x20.png", "", 1, "5000x20.png: not decoded (status 9: no finder found)"},
        {"decode 30000x1.png", "", 1, "30000 x 1 pixels is larger than the tool reads"},
        {"decode 30000x30000.png", "", 1, "30000 x 30000 pixels is larger than the tool reads"},
        {"decode 60000x60000.jpg", "", 1, "60000 x 60000 pixels is larger than the tool reads"},
        {"decode 16384x8.png", "", 1, "16384x8.png: not decoded (status"},
        {"decode --json 8x4000.png", "", 1, "\"ok\":false,\"status\":"},
        // Saving.
        {"encode -o " + name255 + ".jpg x", "", 0, "symbol written to " + name255 + ".jpg"},
        {"encode -o " + name256 + ".jpg x", "", 1, "'" + name256 + ".jpg': name too long"},
        {"encode -o no/such/folder/a.jpg x", "", 1, "'no/such/folder/a.jpg': no such folder"},
        {"encode -o 200x1.png/a.jpg x", "", 1, "a part of the path is not a folder"},
        {"encode -o folder x", "", 1, "cannot write 'folder': is a folder"},
        // Text.
        {"encode ''", "", 1, "empty"},
        {"encode --scheme ascii " + std::string(1559, 'a'), "", 1,
         "needs 1559 codewords; 1,558 is the most"},
        {"encode --raw", std::string(3117, '1'), 1, "at most 3116 bytes"},
        {"encode", std::string(9352, 'a'), 1, "the text is longer than 9351 bytes"},
        {"encode 'ok 😀'", "", 1, "first offending character '😀'"},
        {"encode", "ab\xFF", 1, "not valid UTF-8: byte FF at offset 2"},
        {"encode", "\xEF\xBB\xBFok\xC3\x28", 1, "not valid UTF-8: byte C3 at offset 5"},
        {"encode", "\xED\xA0\x80", 1, "not valid UTF-8: byte ED at offset 0"},  // a surrogate
        // Usage errors.
        {"encode --module 0 x", "", 2, "module size must be 1 to 20"},
        {"encode --module 21 x", "", 2, "module size must be 1 to 20"},
        {"encode --quiet 21 x", "", 2, "quiet zone must be 0 to 20"},
        {"encode --file folder x", "", 2, "either as an argument or with --file"},
        {"eval --jobs -3 set", "", 2, "--jobs must be 1 or more, not -3"},
        {"eval --jobs 0 set", "", 2, "--jobs must be 1 or more, not 0"},
        {"decode --raw a.jpg b.jpg", "", 2, "give one file without --all, or add --json"},
        {"decode", "", 2, "files is required"},
        {"frobnicate", "", 2, "unknown command 'frobnicate'"},
    };
    for (const Case& c : cases) {
        const std::string label = c.args.substr(0, 60);
        const test::ToolRun r = run(c.args, c.input, kOneGiB);
        EXPECT_EQ(r.exitCode, c.exitCode) << label << "\n" << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << label << "\n"
                                                                      << r.out << r.err;
    }
    // Nothing written where a save failed, no temporary file left behind.
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".dm-")) << entry.path();
    EXPECT_FALSE(fs::exists(dir_ / "a.jpg"));
}

// As root, the tool runs as nobody (with setpriv) so that permissions apply.
TEST_F(BadInput, UnreadableFileIsReportedAsSuch) {
    std::ofstream(dir_ / "locked.png") << "x";
    fs::permissions(dir_ / "locked.png", fs::perms::none);
    std::string prefix;
    if (access((dir_ / "locked.png").c_str(), R_OK) == 0) {
        if (std::system("setpriv --version >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "running with privileges that ignore permissions";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const std::string command = "cd " + test::shellQuote(dir_.string()) + " && " + prefix +
                                test::shellQuote(DM_TOOL_PATH) + " decode locked.png 2>err";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);
    std::ifstream err(dir_ / "err");
    std::string line;
    std::getline(err, line);
    EXPECT_EQ(line, "locked.png: cannot read image: permission denied");
}

// The largest pictures people decode still read, within a gigabyte.
TEST_F(BadInput, AnEightThousandPixelPageIsReadWithinAGigabyte) {
    if (test::builtWithAddressSanitizer())
        GTEST_SKIP() << "too slow under AddressSanitizer";
    writePageWithSymbol(dir_ / "page.png", 8000, "A page of 64 million pixels", 5200, 2900);
    const test::ToolRun r = run("decode page.png", "", kOneGiB);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "A page of 64 million pixels\n");
}

// Jobs share eval's memory budget: four large pictures decoded by four jobs within a budget for
// one peak no higher than one job alone would; with a budget for all four, higher. The peak is
// the resident size /usr/bin/time reports.
TEST_F(BadInput, EvalJobsShareTheMemoryBudget) {
    if (test::builtWithAddressSanitizer())
        GTEST_SKIP() << "AddressSanitizer's shadow memory hides the budget";
    if (std::system("/usr/bin/time -f %M true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no /usr/bin/time to measure the peak";
    fs::create_directories(dir_ / "set");
    for (const char* name : {"a", "b", "c", "d"}) {
        writePicture(dir_ / "set" / (std::string(name) + ".png"), 4000, 4000);
        std::ofstream(dir_ / "set" / (std::string(name) + ".txt")) << name;
    }
    auto peakKiB = [&](const std::string& memory) {
        const std::string command =
            "cd " + test::shellQuote(dir_.string()) + " && /usr/bin/time -f %M -o peak " +
            test::shellQuote(DM_TOOL_PATH) + " eval --jobs 4 --memory " + memory + " set >out 2>&1";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1);  // blank: nothing decodes
        // After "Command exited with non-zero status 1", the peak.
        std::ifstream in(dir_ / "peak");
        std::string word, last;
        while (in >> word)
            last = word;
        return std::atol(last.c_str());
    };
    const long budgeted = peakKiB("160");
    const long unbudgeted = peakKiB("4096");
    EXPECT_LT(budgeted, 200 * 1024);
    EXPECT_GT(unbudgeted, budgeted + 100 * 1024);
    std::ifstream out(dir_ / "out");
    const std::string report{std::istreambuf_iterator<char>(out), {}};
    EXPECT_NE(report.find("ms per image (the decoding thread's CPU time)"), std::string::npos)
        << report;
    const test::ToolRun small = run("eval --memory 10 set");
    EXPECT_EQ(small.exitCode, 2);
    EXPECT_NE(small.err.find("--memory must be 64 MiB or more, not 10"), std::string::npos);
}

}  // namespace
}  // namespace dm
