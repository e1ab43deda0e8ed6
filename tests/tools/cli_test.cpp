#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "encoder/jpeg_output.h"
#include "encoder/symbol_renderer.h"
#include "platform/image_files.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/peer_readers.h"
#include "tests/support/symbol_builders.h"
#include "tests/support/tool_runner.h"

namespace {

using dm::test::bytesOf;

namespace fs = std::filesystem;

using CommandLine = dm::test::ToolTest;

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
    const auto raw = run("encode --raw --scheme ascii --codewords -o a.jpg 中");  // UTF-8 E4 B8 AD
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

TEST_F(CommandLine, DecodeReadsWhatEncodeWrote) {
    ASSERT_EQ(run("encode -o a.jpg 'Data Matrix 数据'").exitCode, 0);
    const auto r = run("decode a.jpg");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Data Matrix 数据\n");
    const auto json = run("decode --json a.jpg");
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(
        json.out.find("\"ok\":true,\"status\":1,\"meaning\":\"success\",\"symbol\":\"18x18\""),
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
              "e \xBF\xE0\xD8\xD2\xD5\xE2");
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
}

TEST_F(CommandLine, GradeGivesTheEncodersOwnSymbolsAnA) {
    ASSERT_EQ(run("encode --module 8 -o a.jpg 'Grade me'").exitCode, 0);
    const auto r = run("grade a.jpg");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* name :
         {"Decode ", "Symbol contrast ", "Modulation ", "Reflectance margin ",
          "Fixed pattern damage ", "Axial non-uniformity ", "Grid non-uniformity ",
          "Unused error correction ", "Overall grade "}) {
        const size_t line = r.out.find(std::string("  ") + name);
        ASSERT_NE(line, std::string::npos) << name << " in " << r.out;
        EXPECT_EQ(r.out.substr(r.out.find('\n', line) - 7, 7), "A (4.0)") << r.out;
    }
    EXPECT_NE(r.out.find("Grades are indicative"), std::string::npos);
    const auto json = run("grade --json a.jpg");
    EXPECT_EQ(json.exitCode, 0);
    for (const char* member : {"\"ok\":true", "\"symbol\":\"14x14\"", "\"overall\":4.0",
                               "\"blocks\":[{\"errors\":0,\"capacity\":5}]", "\"report\":null"})
        EXPECT_NE(json.out.find(member), std::string::npos) << member << " in " << json.out;
}

// --dpm grades as a direct part mark: the mark parameters by name, half a module of aperture,
// the exposure, and the JSON of a print with the mode and the mark's parameter names.
TEST_F(CommandLine, GradeDpmGradesTheMarkParameters) {
    ASSERT_EQ(run("encode --module 8 -o a.png 'Grade me'").exitCode, 0);
    const auto r = run("grade --dpm a.png");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* name :
         {"Decode ", "Cell contrast ", "Cell modulation ", "Minimum reflectance ",
          "Fixed pattern damage ", "Axial non-uniformity ", "Grid non-uniformity ",
          "Unused error correction ", "Overall grade "}) {
        const size_t line = r.out.find(std::string("  ") + name);
        ASSERT_NE(line, std::string::npos) << name << " in " << r.out;
        EXPECT_EQ(r.out.substr(r.out.find('\n', line) - 7, 7), "A (4.0)") << r.out;
    }
    for (const char* text : {"aperture 4.0 pixels", "4.0/0.5X/660", "exposure x0.78",
                             "mean light 78 %", "the picture's brightest area"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text << " in " << r.out;
    const auto json = run("grade --dpm --json a.png");
    for (const char* member :
         {"\"mode\":\"dpm\"", "\"cellContrast\":{\"value\":1.0,\"grade\":4.0",
          "\"cellModulation\":{", "\"minimumReflectance\":{\"value\":1.0,\"grade\":4.0",
          "\"exposure\":0.78", "\"ok\":true"})
        EXPECT_NE(json.out.find(member), std::string::npos) << member << " in " << json.out;
    EXPECT_NE(run("grade --json a.png").out.find("\"mode\":\"print\""), std::string::npos);
}

// One JSON schema for both modes: the same members, those a print does not measure null, each
// parameter with its name; a mark's report picture is written with its legend below it.
TEST_F(CommandLine, GradeJsonHasOneSchemaForPrintsAndMarks) {
    ASSERT_EQ(run("encode --module 8 -o a.png 'Grade me'").exitCode, 0);
    const auto print = run("grade --json --dpi 600 a.png");
    const auto mark = run("grade --json --dpm --report m.png a.png");
    ASSERT_EQ(print.exitCode, 0) << print.err;
    ASSERT_EQ(mark.exitCode, 0) << mark.err;
    const auto p = nlohmann::json::parse(print.out);
    const auto m = nlohmann::json::parse(mark.out);
    std::vector<std::string> printKeys, markKeys;
    for (const auto& [key, value] : p["grade"].items())
        printKeys.push_back(key);
    for (const auto& [key, value] : m["grade"].items())
        markKeys.push_back(key);
    EXPECT_EQ(printKeys, markKeys);
    for (const char* key : {"text", "file", "ok", "status", "meaning", "report"}) {
        EXPECT_TRUE(p.contains(key)) << key;
        EXPECT_TRUE(m.contains(key)) << key;
    }
    EXPECT_EQ(p["text"], "Grade me");
    EXPECT_TRUE(p["grade"]["meanLight"].is_null());
    EXPECT_NEAR(m["grade"]["meanLight"].get<double>(), 0.78, 0.01);
    EXPECT_EQ(p["grade"]["exposure"], 1.0);
    EXPECT_NEAR(p["grade"]["apertureModules"].get<double>(), 0.8, 1e-9);
    EXPECT_NEAR(m["grade"]["apertureModules"].get<double>(), 0.5, 1e-9);
    EXPECT_NEAR(p["grade"]["apertureMils"].get<double>(), 6.4 / 600 * 1000, 1e-6);
    EXPECT_TRUE(m["grade"]["apertureMils"].is_null());
    EXPECT_EQ(p["grade"]["light"], "red");
    EXPECT_TRUE(p["grade"]["notes"].is_array());
    EXPECT_EQ(p["grade"]["parameters"]["symbolContrast"]["name"], "Symbol contrast");
    EXPECT_EQ(m["grade"]["parameters"]["cellContrast"]["name"], "Cell contrast");
    EXPECT_EQ(m["report"], "m.png");
    std::string error;
    const auto report = dm::loadImage((dir_ / "m.png").string(), error);
    ASSERT_TRUE(report) << error;
    size_t legend = 0;
    for (size_t i = 0; i + 2 < report->rgb.size(); i += 3)
        legend += report->rgb[i] == 30 && report->rgb[i + 1] == 30 && report->rgb[i + 2] == 30;
    EXPECT_GT(legend, 2000u);
}

// The measurement conditions: the aperture as a share of X or in mils at a resolution, the
// result line that names them, and several scans of one symbol averaged.
TEST_F(CommandLine, GradeTakesTheApertureAndAveragesScans) {
    ASSERT_EQ(run("encode --module 8 -o a.png 'Grade me'").exitCode, 0);
    ASSERT_EQ(run("encode --module 8 -o b.png 'Grade me'").exitCode, 0);
    const auto half = run("grade --aperture 0.5x a.png");
    EXPECT_NE(half.out.find("8.0 pixels per module, aperture 4.0 pixels"), std::string::npos)
        << half.out;
    EXPECT_NE(half.out.find("Result (grade/aperture/light) 4.0/0.5X/660"), std::string::npos)
        << half.out;
    const auto mils = run("grade --aperture 5mil --dpi 600 --light white a.png");
    EXPECT_NE(mils.out.find("aperture 3.0 pixels"), std::string::npos) << mils.out;
    EXPECT_NE(mils.out.find("4.0/05/W"), std::string::npos) << mils.out;
    const auto tiny = run("grade --aperture 0.2x a.png");
    EXPECT_NE(tiny.out.find("note: the aperture spans 1.6 pixels"), std::string::npos) << tiny.out;
    for (const char* bad : {"--aperture 5 a.png", "--aperture 3x a.png", "--aperture big a.png"})
        EXPECT_EQ(run(std::string("grade ") + bad).exitCode, 2) << bad;

    const auto scans = run("grade --scans a.png b.png");
    EXPECT_EQ(scans.exitCode, 0) << scans.err;
    EXPECT_NE(scans.out.find("Overall grade over 2 scans: A (4.0), result 4.0/0.8X/660"),
              std::string::npos)
        << scans.out;
    const auto json = run("grade --scans --json a.png b.png");
    EXPECT_NE(json.out.find("{\"scans\":2,\"overall\":4.0,\"letter\":\"A\""), std::string::npos)
        << json.out;
}

// A symbol with three wrong codewords and two dark spots in the quiet zone left of the finder.
TEST_F(CommandLine, GradeReportsAndDrawsDamage) {
    std::vector<uint8_t> stream(24, 129);
    stream[0] = 'O' + 1;
    dm::encodeBlocks(stream, 3);
    for (const int k : {2, 7, 20})
        stream[k] ^= 0x5A;
    dm::test::GrayPicture picture =
        dm::test::drawModules(dm::placeCodewords(stream, 3), 16, 16, 8, 3, false);
    for (const int row : {4, 9}) {  // module (row, -1): pixels from 16 to 24 across
        for (int y = (3 + row) * 8 + 1; y < (4 + row) * 8 - 1; ++y) {
            for (int x = 17; x < 23; ++x)
                picture.pixels[static_cast<size_t>(y) * picture.width + x] = 0;
        }
    }
    ASSERT_TRUE(dm::test::writePng((dir_ / "d.png").string(), picture));
    const auto r = run("grade --json --report r.png d.png");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* member :
         {"\"fixedPatternDamage\":{\"value\":2.0,\"grade\":2.0,\"letter\":\"C\",\"name\":"
          "\"Fixed pattern damage\"}",
          "\"unusedErrorCorrection\":{\"value\":0.5,\"grade\":3.0,\"letter\":\"B\",",
          "\"pattern\":\"QZL1\",\"modules\":16,\"damaged\":2,\"grade\":2.0", "\"overall\":2.0",
          "\"report\":\"r.png\""})
        EXPECT_NE(r.out.find(member), std::string::npos) << member << " in " << r.out;
    // The picture marks the damaged quiet zone in magenta and the wrong modules in red.
    std::string error;
    const auto report = dm::loadImage((dir_ / "r.png").string(), error);
    ASSERT_TRUE(report) << error;
    EXPECT_GT(report->width, picture.width);
    int magenta = 0, red = 0;
    for (size_t i = 0; i + 2 < report->rgb.size(); i += 3) {
        magenta += report->rgb[i] == 200 && report->rgb[i + 1] == 0 && report->rgb[i + 2] == 200;
        red += report->rgb[i] == 230 && report->rgb[i + 1] == 0 && report->rgb[i + 2] == 0;
    }
    EXPECT_GT(magenta, 100);
    EXPECT_GT(red, 100);
}

// The JSON says what the text says: a print with ink spread reads, its growth measured; a
// symbol drawn to the picture's edge has its quiet zone noted as not measured; a coarse picture
// carries the resolution note; the light is named.
TEST_F(CommandLine, GradeJsonCarriesTheTextGrowthAndNotes) {
    const auto matrix = dm::test::symbolWithData({'G' + 1, 'r' + 1, 'o' + 1, 'w' + 1}, 3);
    const auto grown = dm::test::printGrown(matrix, 16, 16, 8, 0.2, 0.2);
    ASSERT_TRUE(
        dm::test::writePng((dir_ / "grown.png").string(), {grown.width, grown.height, grown.gray}));
    ASSERT_TRUE(dm::test::writePng((dir_ / "edge.png").string(),
                                   dm::test::drawModules(matrix, 16, 16, 8, 0, false)));
    ASSERT_EQ(run("encode --module 2 -o coarse.png coarse").exitCode, 0);
    const auto r = run("grade --json grown.png edge.png coarse.png");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<nlohmann::json> j;
    for (std::string line; std::getline(lines, line);)
        j.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(j.size(), 3u) << r.out;
    for (const auto& file : j) {
        EXPECT_EQ(file["ok"], true) << file;
        EXPECT_EQ(file["status"], 1) << file;
        EXPECT_TRUE(file["grade"]["gridFailure"].is_null()) << file;
    }
    EXPECT_EQ(j[0]["text"], "Grow");
    EXPECT_NEAR(j[0]["grade"]["printGrowth"]["horizontal"].get<double>(), 0.2, 0.03);
    EXPECT_NEAR(j[0]["grade"]["printGrowth"]["vertical"].get<double>(), 0.2, 0.03);
    EXPECT_EQ(j[0]["grade"]["parameters"]["decode"]["letter"], "A");
    EXPECT_TRUE(j[0]["grade"]["notes"].empty());
    ASSERT_EQ(j[1]["grade"]["notes"].size(), 1u) << j[1];
    EXPECT_NE(j[1]["grade"]["notes"][0].get<std::string>().find("the quiet zone runs off"),
              std::string::npos);
    EXPECT_EQ(j[1]["grade"]["parameters"]["fixedPatternDamage"]["letter"], "A");
    ASSERT_EQ(j[2]["grade"]["notes"].size(), 1u) << j[2];
    EXPECT_NE(j[2]["grade"]["notes"][0].get<std::string>().find("2.0 pixels per module"),
              std::string::npos);
    EXPECT_EQ(j[0]["grade"]["light"], "red");
    EXPECT_NE(run("grade --json --light white grown.png").out.find("\"light\":\"white\""),
              std::string::npos);
    EXPECT_EQ(run("grade --light uv grown.png").exitCode, 2);
    const auto text = run("grade grown.png");
    EXPECT_NE(text.out.find("print growth (informative): horizontal +0.2"), std::string::npos)
        << text.out;
}

TEST_F(CommandLine, GradeNamesWhatItCouldNotGrade) {
    std::ofstream(dir_ / "junk.png") << "not an image at all";
    ASSERT_TRUE(dm::test::writePng((dir_ / "blank.png").string(),
                                   {60, 60, std::vector<uint8_t>(3600, 255)}));
    ASSERT_EQ(run("encode -o a.jpg fine").exitCode, 0);
    const auto r = run("grade a.jpg junk.png blank.png");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("a.jpg: symbol 12x12"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("junk.png: cannot read image: not a JPEG, PNG or BMP image"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("blank.png: no symbol located (status 9: "), std::string::npos) << r.err;
    const auto unwritable = run("grade --report no/such/folder/r.png a.jpg");
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.err.find("no/such/folder/r.png: cannot write the report"),
              std::string::npos)
        << unwritable.err;
    // Several files' reports carry each file's name.
    ASSERT_EQ(run("encode -o b.jpg other").exitCode, 0);
    EXPECT_EQ(run("grade --report r.png a.jpg b.jpg").exitCode, 0);
    EXPECT_TRUE(fs::exists(dir_ / "r-a.png") && fs::exists(dir_ / "r-b.png"));
}

// A symbol printed green on red: the same gray level everywhere, so the decoder sees no symbol,
// while in red light it is black on white. The grading finds and reads it itself, and the text
// its reading decoded goes with its grade, as status, meaning and ok do.
TEST_F(CommandLine, GradeGivesTheTextOfASymbolOnlyItsOwnReadingDecoded) {
    const auto matrix = dm::test::symbolWithData({'R' + 1, 'e' + 1, 'd' + 1}, 3);
    const auto drawn = dm::test::drawModules(matrix, 16, 16, 8);
    dm::RgbImage picture{drawn.width, drawn.height, {}};
    for (const uint8_t v : drawn.pixels)  // both colours are gray level 76
        picture.rgb.insert(picture.rgb.end(), {v < 128 ? uint8_t{0} : uint8_t{255},
                                               v < 128 ? uint8_t{130} : uint8_t{0}, uint8_t{0}});
    ASSERT_FALSE(dm::savePng((dir_ / "red.png").string(), picture));
    ASSERT_EQ(run("decode red.png").exitCode, 1);

    const auto json = run("grade --json red.png");
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const auto j = nlohmann::json::parse(json.out);
    EXPECT_EQ(j["ok"], true) << j;
    EXPECT_EQ(j["status"], 1) << j;
    EXPECT_EQ(j["text"], "Red") << j;
    EXPECT_EQ(j["grade"]["parameters"]["decode"]["letter"], "A") << j;
    const auto text = run("grade red.png");
    EXPECT_NE(text.out.find("Decoded text              Red\n"), std::string::npos) << text.out;

    // In white light it is one gray: nothing located, nothing decoded.
    const auto white = run("grade --json --light white red.png");
    EXPECT_EQ(white.exitCode, 1);
    const auto w = nlohmann::json::parse(white.out);
    EXPECT_EQ(w["ok"], false);
    EXPECT_TRUE(w["text"].is_null()) << w;
    EXPECT_TRUE(w["grade"].is_null()) << w;
}

TEST_F(CommandLine, EverySubcommandHasHelpStatingItsLimits) {
    for (const char* cmd :
         {"--help", "encode --help", "decode --help", "eval --help", "grade --help"}) {
        const auto r = run(cmd);
        EXPECT_EQ(r.exitCode, 0) << cmd;
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << cmd;
    }
    EXPECT_NE(run("encode --help").out.find("a final newline included"), std::string::npos);
    EXPECT_NE(run("decode --help").out.find("16,384 pixels a side"), std::string::npos);
    for (const char* cmd : {"eval --help", "grade --help"})
        EXPECT_NE(run(cmd).out.find("16,384 pixels a side"), std::string::npos) << cmd;
    EXPECT_EQ(run("").exitCode, 2);
}

TEST_F(CommandLine, EncodeDropsAByteOrderMarkUnlessRaw) {
    const auto plain = run("encode --codewords -o a.jpg", "Hi");
    const auto marked = run("encode --codewords -o a.jpg", "\xEF\xBB\xBFHi");
    EXPECT_EQ(marked.exitCode, 0) << marked.err;
    EXPECT_EQ(marked.out, plain.out);
    EXPECT_NE(run("encode --raw --codewords -o a.jpg", "\xEF\xBB\xBFHi").out, plain.out);
}

// --raw gives the symbol's bytes and nothing else; --json gives them in hex beside a text that
// stays valid UTF-8, and sizes as rows x columns.
TEST_F(CommandLine, DecodeOutputIsExact) {
    const std::string bytes("A\xFF\x00\n", 4);
    std::ofstream(dir_ / "msg.bin", std::ios::binary) << bytes;
    ASSERT_EQ(run("encode --raw --file msg.bin -o a.jpg").exitCode, 0);
    const auto raw = run("decode --raw a.jpg");
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out, bytes);
    for (const char* args : {"decode --json a.jpg", "decode --json --raw a.jpg"}) {
        const auto j = nlohmann::json::parse(run(args).out);
        EXPECT_EQ(j["bytes"], "41ff000a") << args;
        EXPECT_EQ(j["text"].get<std::string>().substr(0, 4), "A\xEF\xBF\xBD") << args;
    }

    // An 8 x 18 rectangle.
    const std::vector<uint8_t> matrix = dm::test::symbolWithData({66, 67, 68}, dm::kSquareCount);
    ASSERT_TRUE(dm::test::writePng((dir_ / "rect.png").string(),
                                   dm::test::drawModules(matrix, 8, 18, 6, 2)));
    const auto rect = run("decode --json rect.png");
    EXPECT_NE(rect.out.find("\"symbol\":\"8x18\",\"text\":\"ABC\""), std::string::npos) << rect.out;
}

// Gray and CMYK JPEGs as scanners and print software write them (CMYK stored inverted, as
// Adobe's software does).
TEST_F(CommandLine, DecodeReadsGrayAndCmykJpegs) {
    const std::string text = "Gray and CMYK";
    const auto symbol = dm::RenderSymbol(
        std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 5, 3);
    ASSERT_TRUE(symbol);
    const dm::SymbolImage& image = symbol->image;
    std::vector<uint8_t> cmyk;
    for (const uint8_t v : image.pixels)
        cmyk.insert(cmyk.end(), {255, 255, 255, v});
    auto decodeJpeg = [&](const char* file, const uint8_t* pixels, int format, int subsampling) {
        tjhandle h = tjInitCompress();
        unsigned char* jpeg = nullptr;
        unsigned long length = 0;
        ASSERT_EQ(tjCompress2(h, pixels, image.width, 0, image.height, format, &jpeg, &length,
                              subsampling, 90, 0),
                  0);
        std::ofstream(dir_ / file, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg), static_cast<std::streamsize>(length));
        tjFree(jpeg);
        tjDestroy(h);
        EXPECT_EQ(run(std::string("decode ") + file).out, text + "\n") << file;
    };
    decodeJpeg("gray.jpg", image.pixels.data(), TJPF_GRAY, TJSAMP_GRAY);
    decodeJpeg("cmyk.jpg", cmyk.data(), TJPF_CMYK, TJSAMP_444);
}

// The encoder's options end to end: the tool reports the size, and decoding the file it wrote
// finds the scheme's text, the shape and the message kind asked for.
TEST_F(CommandLine, EncodeOptionsWriteTheSymbolsAskedFor) {
    struct Case {
        std::string args;
        std::string printed;
        std::vector<std::string> json;
    };
    const std::vector<Case> cases = {
        {"--scheme c40 -o s.png 'C40 ONLY'",
         "14x14 symbol written to s.png",
         {"\"text\":\"C40 ONLY\""}},
        {"--scheme base256 -o b.png 'bytes'",
         "14x14 symbol written to b.png",
         {"\"text\":\"bytes\""}},
        {"--shape rect -o r.png 'HELLO WORLD'",
         "8x32 symbol written to r.png",
         {"\"text\":\"HELLO WORLD\""}},
        {"--shape rect --dmre -o d.png 1234567890123456789012345678901234",
         "8x48 symbol written to d.png",
         {"\"text\":\"1234567890123456789012345678901234\""}},
        {"--gs1 -o g.png '(01)09501101530003(17)140704'",
         "18x18 symbol written to g.png",
         {"\"gs1Text\":\"(01)09501101530003(17)140704\""}},
        {"--macro 06 -o m.png ABC",
         "12x12 symbol written to m.png",
         {"\"macro\":6", "\"text\":\"[)>\\u001e06\\u001dABC\\u001e\\u0004\""}},
        {"--eci 26 -o e.png 'Grüße'",
         "16x16 symbol written to e.png",
         {"\"text\":\"Grüße\"", "\"characterSet\":\"UTF-8\""}},
        {"--reader-programming -o p.png SETUP",
         "14x14 symbol written to p.png",
         {"\"readerProgramming\":true"}},
    };
    for (const Case& c : cases) {
        const auto r = run("encode " + c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args << ": " << r.err;
        EXPECT_NE(r.out.find(c.printed), std::string::npos) << c.args << ": " << r.out;
        const std::string file = c.printed.substr(c.printed.rfind(' ') + 1);
        const auto json = run("decode --json " + file);
        for (const std::string& member : c.json)
            EXPECT_NE(json.out.find(member), std::string::npos) << c.args << ": " << json.out;
    }
}

// A series is one file per symbol, numbered; each holds its part and its place in the series.
TEST_F(CommandLine, EncodeWritesAStructuredAppendSeriesAsNumberedFiles) {
    const auto r = run("encode --structured-append 3 -o part.jpg 'FIRST SECOND THIRD PARTS'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string joined;
    for (int k = 1; k <= 3; ++k) {
        const std::string name = "part-" + std::to_string(k) + ".jpg";
        EXPECT_NE(r.out.find("symbol written to " + name), std::string::npos) << r.out;
        const auto json = run("decode --json " + name);
        EXPECT_NE(json.out.find("\"structuredAppend\":{\"position\":" + std::to_string(k) +
                                ",\"total\":3"),
                  std::string::npos)
            << json.out;
        joined += run("decode " + name).out;
    }
    EXPECT_EQ(joined, "FIRST SE\nCOND THI\nRD PARTS\n");

    // Without an extension the number goes at the end of the name, not into a folder's.
    fs::create_directory(dir_ / "out.d");
    const auto bare = run("encode --structured-append 2 -o out.d/part 'ABCD'");
    ASSERT_EQ(bare.exitCode, 0) << bare.err;
    EXPECT_NE(bare.out.find("symbol written to out.d/part-1\n"), std::string::npos) << bare.out;
    EXPECT_EQ(run("decode out.d/part-2").out, "CD\n");
}

// --scheme ascii writes the window's file, byte for byte.
TEST_F(CommandLine, EncodeSchemeAsciiWritesTheWindowsFile) {
    const std::string text = "ASCII ONLY 0123 \xD6\xD0";
    ASSERT_EQ(run("encode --raw --scheme ascii -o tool.jpg '" + text + "'").exitCode, 0);
    ASSERT_GT(dm::GenerateSymbolFile(bytesOf(text), (dir_ / "window.jpg").string(), 4, 3), 0);
    EXPECT_EQ(dm::test::readFile(dir_ / "tool.jpg"), dm::test::readFile(dir_ / "window.jpg"));
}

TEST_F(CommandLine, EncodeRefusesOptionsThatCannotHold) {
    struct Case {
        std::string args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"encode --dmre ABC", "the rectangular extension sizes are rectangles"},
        {"encode --gs1 '(01)123'", "(01) takes exactly 14 digits"},
        {"encode --gs1 '(07)1'", "application identifier (07) is not assigned"},
        {"encode --gs1 '(10)AB-123'", "(10) BATCH/LOT needs (01), (02), (8006) or (8026)"},
        {"encode --scheme x12 'lower'", "X12 cannot write 'l' (byte 6C, character 1 of the text)"},
        {"encode --scheme edifact 'a'", "EDIFACT cannot write 'a' (byte 61"},
        {"encode --scheme edifact 'AB中'",
         "EDIFACT cannot write '中' (bytes D6 D0, character 3 of the text)"},
        {"encode --raw --scheme edifact 'a'", "EDIFACT cannot write byte 97 'a' (character 1"},
        {"encode --eci 1000 x", "ECI 1000 names no character set known here"},
        {"encode --eci 3 'Привет'", "cannot be written in ISO-8859-1 (ECI 3)"},
        {"encode --structured-append 17 x", "--structured-append"},
        {"encode --structured-append 4 abc", "needs at least 4 characters"},
        {"encode --structured-append 3 '中文'", "needs at least 3 characters"},
        {"encode --reader-programming --structured-append 2 abc", "cannot be part of"},
        {"encode --gs1 --macro 05 '(01)09501101530003'", "choose one"},
    };
    for (const auto& c : cases) {
        const auto r = run(c.args);
        EXPECT_NE(r.exitCode, 0) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
}

// An SVG drawing has the size of the picture and one path of the dark modules.
TEST_F(CommandLine, EncodeWritesSvg) {
    ASSERT_EQ(run("encode --module 5 --quiet 2 -o s.svg Hello").exitCode, 0);
    const std::vector<uint8_t> file = dm::test::readFile(dir_ / "s.svg");
    const std::string svg(file.begin(), file.end());
    EXPECT_NE(svg.find("width=\"80\" height=\"80\""), std::string::npos) << svg;  // (12 + 4) x 5
    EXPECT_NE(svg.find("<path fill=\"#000\" d=\"M10 10h5v5h-5z"), std::string::npos) << svg;
}

}  // namespace

// --size fixes the symbol: any size of the table, the extension sizes with --dmre; a size the
// table has not, or one too small for the text, is refused.
TEST_F(CommandLine, EncodeSizeFixesTheSymbol) {
    struct Case {
        std::string args;
        int exitCode;
        std::string message;  // printed, or the error
    };
    const std::vector<Case> cases = {
        {"--size 8x80 --dmre -o a.png 'EIGHT BY EIGHTY'", 0, "8x80 symbol written to a.png"},
        {"--size 8x120 --dmre -o b.png 'EIGHT BY ONE HUNDRED TWENTY'", 0,
         "8x120 symbol written to b.png"},
        {"--size 144x144 -o c.png A", 0, "144x144 symbol written to c.png"},
        {"--size 12x36 -o d.png abc", 0, "12x36 symbol written to d.png"},
        {"--size 8x80 -o e.png abc", 2, "--size 8x80 is a rectangular extension size; add --dmre"},
        {"--size 9x9 -o e.png abc", 2, "--size takes a symbol size as ROWSxCOLUMNS"},
        {"--size 12 -o e.png abc", 2, "not '12'"},
        {"--size 10x10 -o e.png 'far too long for ten'", 1, "does not fit"},
    };
    for (const Case& c : cases) {
        const auto r = run("encode " + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << ": " << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos)
            << c.args << ": " << r.out << r.err;
    }
    EXPECT_EQ(run("decode a.png").out, "EIGHT BY EIGHTY\n");
    EXPECT_EQ(run("decode c.png").out, "A\n");
    EXPECT_FALSE(fs::exists(dir_ / "e.png"));
}

// A series holds more than one symbol's 3,116 bytes: the whole message reads back in order.
TEST_F(CommandLine, EncodeSplitsALongMessageOverTheWholeSeries) {
    std::string text;
    for (int i = 0; text.size() < 6000; ++i)
        text += "line " + std::to_string(i) + " of a long message; ";
    std::ofstream(dir_ / "long.txt", std::ios::binary) << text;
    const auto r = run("encode --structured-append 4 --file long.txt -o s.png");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string joined;
    for (int k = 1; k <= 4; ++k)
        joined += run("decode --raw s-" + std::to_string(k) + ".png").out;
    EXPECT_EQ(joined, text);
}

// "file" is valid UTF-8 whatever the name; a name that is not keeps its bytes in "fileBytes".
TEST_F(CommandLine, JsonKeepsTheBytesOfAFileNameThatIsNotUtf8) {
    const std::string name = "n\xFF.png";
    ASSERT_EQ(run("encode -o " + dm::test::shellQuote(name) + " named").exitCode, 0);
    for (const std::string command : {"decode --json ", "grade --json "}) {
        const auto r = run(command + dm::test::shellQuote(name));
        EXPECT_NE(r.out.find("\"file\":\"n\xEF\xBF\xBD.png\",\"fileBytes\":\"6eff2e706e67\""),
                  std::string::npos)
            << r.out;
    }
    ASSERT_EQ(run("encode -o plain.png plain").exitCode, 0);
    EXPECT_EQ(run("decode --json plain.png").out.find("fileBytes"), std::string::npos);
}
