#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/tool_runner.h"

namespace {

namespace fs = std::filesystem;

// The public sample set: 29 images, all read. (The 144x144 of 2-pixel modules, written with the
// legacy interleaving, reads once enlarged; the picture whose columns narrow across it reads at
// the module centres its alternating row shows; the mirrored symbol, the text in two ECI
// character sets and the GS1 fields read as written.)
constexpr int kSampleCount = 29;
constexpr int kExpectedDecoded = 29;

const fs::path kSampleDir = fs::path(DM_SOURCE_DIR) / ".." / "shared" / "samples" / "clean";

// Runs the tool on the samples (by their full paths) in a folder of its own.
class SampleImages : public dm::test::ToolTest {};

TEST_F(SampleImages, EvalDecodesTheExpectedShareOfTheCleanSet) {
    if (!fs::is_directory(kSampleDir))
        GTEST_SKIP() << "no sample images at " << kSampleDir;
    const std::string out = run("eval --jobs 2 " + dm::test::shellQuote(kSampleDir.string())).out;
    const std::string summary =
        "decoded " + std::to_string(kExpectedDecoded) + "/" + std::to_string(kSampleCount);
    EXPECT_NE(out.find(summary), std::string::npos) << out;
    EXPECT_EQ(out.find("FAIL HelloWorld_Text_L_Kaywa_2_error_byte"), std::string::npos) << out;
    for (const char* sample :
         {"144x144_wrong", "abcd-36x12-mirrored", "eci", "gs1-figure", "distorted"})
        EXPECT_EQ(out.find(std::string("FAIL ") + sample), std::string::npos) << out;
}

// Every sample is graded; the grid measured along the clock tracks reads the distorted one too,
// with the grade its grid deserves. The error-byte samples lose unused error correction as their
// wrong codewords say (the fourth has five), and the one cropped at its finder its quiet zone.
// The sample images, quoted for the shell, each after a space.
std::string sampleFiles() {
    std::string files;
    for (const auto& entry : fs::directory_iterator(kSampleDir)) {
        if (entry.path().extension() == ".png") {
            files += " ";
            files += dm::test::shellQuote(entry.path().string());
        }
    }
    return files;
}

// Read with several threads (the enlarged pictures of the samples that need them side by side),
// every sample gives what one thread gives; a count out of range is a usage error.
TEST_F(SampleImages, DecodeWithThreadsReadsAsOneThreadDoes) {
    if (!fs::is_directory(kSampleDir))
        GTEST_SKIP() << "no sample images at " << kSampleDir;
    const std::string files = sampleFiles();
    const auto one = run("decode" + files);
    const auto four = run("decode --threads 4" + files);
    EXPECT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(four.exitCode, one.exitCode) << four.err;
    EXPECT_EQ(four.out, one.out);
    EXPECT_EQ(four.err, one.err);
    EXPECT_NE(one.out.find("144x144_wrong.png: "), std::string::npos) << one.out;
    for (const char* count : {"0", "65"}) {
        const auto refused = run(std::string("decode --threads ") + count + files);
        EXPECT_EQ(refused.exitCode, 2) << count;
        EXPECT_NE(refused.err.find("--threads"), std::string::npos) << refused.err;
    }
}

TEST_F(SampleImages, GradeReadsEverySampleAndGradesItsFlaws) {
    if (!fs::is_directory(kSampleDir))
        GTEST_SKIP() << "no sample images at " << kSampleDir;
    const std::string files = sampleFiles();
    const std::string out = run("grade --json" + files).out;
    size_t graded = 0;
    for (size_t at = out.find("\"ok\":true"); at != std::string::npos;
         at = out.find("\"ok\":true", at + 1))
        ++graded;
    EXPECT_EQ(graded, static_cast<size_t>(kSampleCount));
    const struct {
        const char* file;
        const char* members;
    } expected[] = {
        {"HelloWorld_Text_L_Kaywa.png", "\"overall\":4.0"},
        {"HelloWorld_Text_L_Kaywa_3_error_byte.png",
         "\"unusedErrorCorrection\":{\"value\":0.5,\"grade\":3.0"},
        {"HelloWorld_Text_L_Kaywa_4_error_byte.png", "\"blocks\":[{\"errors\":5,\"capacity\":6}]"},
        {"abcd-36x12-mirrored.png", "\"overall\":4.0"},
        {"distorted.png", "\"gridNonuniformity\":{\"value\":0.8"},
        // Drawn without a quiet zone: the picture's edge is not graded as damage.
        {"#378.png", "the quiet zone runs off the picture: 38 of its modules"},
    };
    for (const auto& e : expected) {
        const size_t line = out.find(std::string(e.file) + "\"");
        ASSERT_NE(line, std::string::npos) << e.file;
        const std::string object = out.substr(line, out.find('\n', line) - line);
        EXPECT_NE(object.find(e.members), std::string::npos) << e.members << " in " << object;
    }
}

}  // namespace
