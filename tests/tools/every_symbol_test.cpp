// decode --all: every symbol of a picture in reading order, in text and JSON, and Structured
// Append series joined across the files of one call.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/peer_encoders.h"
#include "tests/support/peer_readers.h"
#include "tests/support/tool_runner.h"

namespace dm {
namespace {

using EverySymbol = test::ToolTest;
namespace fs = std::filesystem;

// A light page with the texts' symbols in a grid of columns, drawn row by row.
test::GrayPicture page(const std::vector<std::string>& texts, int columns) {
    constexpr int kCell = 140;
    const int rows = (static_cast<int>(texts.size()) + columns - 1) / columns;
    test::GrayPicture out{
        columns * kCell, rows * kCell,
        std::vector<uint8_t>(static_cast<size_t>(columns) * kCell * rows * kCell, 230)};
    for (size_t i = 0; i < texts.size(); ++i) {
        const auto symbol = test::encodeWithZint(test::bytesOf(texts[i]));
        EXPECT_TRUE(symbol.has_value());
        const test::GrayPicture drawn =
            test::drawModules(symbol->matrix, symbol->rows, symbol->cols, 5, 2);
        // Rows a little out of line, as labels stuck by hand are.
        const int x0 = static_cast<int>(i % columns) * kCell + 5;
        const int y0 = static_cast<int>(i / columns) * kCell + 5 + static_cast<int>(i % 3) * 4;
        for (int y = 0; y < drawn.height; ++y) {
            for (int x = 0; x < drawn.width; ++x)
                out.pixels[static_cast<size_t>(y0 + y) * out.width + x0 + x] =
                    drawn.pixels[static_cast<size_t>(y) * drawn.width + x];
        }
    }
    return out;
}

TEST_F(EverySymbol, EverySymbolOfAPictureInReadingOrder) {
    const std::vector<std::string> texts{"first", "second", "third", "fourth", "fifth"};
    ASSERT_TRUE(test::writePng((dir_ / "page.png").string(), page(texts, 3)));
    const auto r = run("decode --all page.png");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "#1: first\n#2: second\n#3: third\n#4: fourth\n#5: fifth\n");
    // Without --all, one symbol as before.
    const auto one = run("decode page.png");
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 1) << one.out;
    // At most two: which two is the search's choice, their order is the page's.
    std::istringstream two(run("decode --all --most 2 page.png").out);
    std::string first, second;
    ASSERT_TRUE(std::getline(two, first) && std::getline(two, second));
    auto place = [&](const std::string& line) {
        return std::find(texts.begin(), texts.end(), line.substr(4)) - texts.begin();
    };
    EXPECT_LT(place(first), place(second));
    EXPECT_LT(place(second), 5);
    EXPECT_FALSE(std::getline(two, first));

    const auto json = run("decode --all --json page.png");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    std::istringstream lines(json.out);
    std::string line;
    size_t index = 0;
    while (std::getline(lines, line)) {
        const auto j = nlohmann::json::parse(line);
        ASSERT_LT(index, texts.size());
        EXPECT_EQ(j["file"], "page.png");
        EXPECT_EQ(j["index"], index + 1);
        EXPECT_EQ(j["text"], texts[index]);
        // The corners lie in the symbol's cell.
        ASSERT_EQ(j["corners"].size(), 4u);
        for (const auto& p : j["corners"]) {
            EXPECT_NEAR(p[0].get<double>(), (index % 3) * 140 + 70, 70) << line;
            EXPECT_NEAR(p[1].get<double>(), (index / 3) * 140 + 70, 70) << line;
        }
        ++index;
    }
    EXPECT_EQ(index, texts.size());

    // A picture without a symbol: one object saying so, exit status 1.
    ASSERT_TRUE(test::writePng((dir_ / "blank.png").string(),
                               {200, 200, std::vector<uint8_t>(200 * 200, 230)}));
    const auto blank = run("decode --all --json blank.png");
    EXPECT_EQ(blank.exitCode, 1);
    EXPECT_NE(blank.out.find("\"index\":1,\"corners\":[],\"ok\":false"), std::string::npos)
        << blank.out;
    EXPECT_EQ(run("decode --all --raw page.png").exitCode, 2);
}

// grade --all: a block (a JSON object) per symbol, every outline in one report picture.
TEST_F(EverySymbol, GradeGradesEverySymbolOfAPicture) {
    const std::vector<std::string> texts{"one", "two", "three"};
    ASSERT_TRUE(test::writePng((dir_ / "page.png").string(), page(texts, 3)));
    const auto r = run("grade --all --report all.png page.png");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* block : {"page.png #1: symbol", "page.png #2: symbol", "page.png #3: symbol"})
        EXPECT_NE(r.out.find(block), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("#4"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir_ / "all.png"));
    const auto json = run("grade --all --json page.png");
    std::istringstream lines(json.out);
    std::string line;
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(std::getline(lines, line));
        const auto j = nlohmann::json::parse(line);
        EXPECT_EQ(j["index"], i + 1);
        EXPECT_EQ(j["text"], texts[i]);
        EXPECT_EQ(j["grade"]["letter"], "A") << line;
    }
    EXPECT_FALSE(std::getline(lines, line));
}

// eval: a NAME.txt of several lines wants each line read from a symbol of its own; symbols
// beyond the lines are counted.
TEST_F(EverySymbol, EvalComparesEachLineWithASymbolOfThePicture) {
    const std::vector<std::string> texts{"alpha", "beta", "gamma", "delta"};
    fs::create_directory(dir_ / "set");
    for (const char* name : {"whole", "short", "extra"})
        ASSERT_TRUE(
            test::writePng((dir_ / "set" / (std::string(name) + ".png")).string(), page(texts, 2)));
    std::ofstream(dir_ / "set" / "whole.txt") << "delta\ngamma\r\nbeta\nalpha\n";
    std::ofstream(dir_ / "set" / "short.txt") << "alpha\nbeta\nepsilon\n";
    std::ofstream(dir_ / "set" / "extra.txt") << "alpha\nbeta\n";
    const auto r = run("eval -j 1 set");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("FAIL short.png: 2 of 3 symbols read; not read: \"epsilon\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("FAIL whole.png"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("FAIL extra.png"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("decoded 2/3"), std::string::npos) << r.out;
    // extra.png: two beyond its lines; short.png: two beyond the two it matched.
    EXPECT_NE(r.out.find("symbols beyond those expected: 4 (in 2 pictures)"), std::string::npos)
        << r.out;
}

TEST_F(EverySymbol, StructuredAppendSeriesAreJoinedAcrossFilesOrNamedWhereIncomplete) {
    ASSERT_EQ(run("encode --structured-append 3 -o part.png 'FIRST SECOND THIRD PARTS'").exitCode,
              0);
    const auto whole = run("decode --all part-3.png part-1.png part-2.png");
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    EXPECT_NE(whole.out.find("part-1.png: #1: FIRST SE\n"), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find(" of 3: FIRST SECOND THIRD PARTS\n"), std::string::npos) << whole.out;

    const auto partial = run("decode --all part-3.png part-1.png");
    EXPECT_EQ(partial.exitCode, 1);
    EXPECT_NE(partial.out.find(" of 3: not joined, positions missing: 2\n"), std::string::npos)
        << partial.out;

    const auto json = run("decode --all --json part-1.png part-2.png part-3.png");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const std::string last = json.out.substr(json.out.rfind('\n', json.out.size() - 2) + 1);
    const auto series = nlohmann::json::parse(last);
    EXPECT_EQ(series["total"], 3);
    EXPECT_EQ(series["joined"], true);
    EXPECT_EQ(series["text"], "FIRST SECOND THIRD PARTS");
    EXPECT_EQ(series["members"][1]["file"], "part-2.png");
}

}  // namespace
}  // namespace dm
