// Camera frames saved as files: decode must read every one the camera path reads from the same
// pixels, since a frame is first decoded as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "decoder/frame_intake.h"
#include "symbology/symbol_size.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_readers.h"
#include "tests/support/sweeps.h"
#include "tests/support/symbol_builders.h"
#include "tests/support/tool_runner.h"

namespace dm {
namespace {

// A 640 x 480 frame: the symbol of size k, fine modules (2 to 5 pixels, as far as the symbol
// fits), any rotation and position, blur and noise: frames the camera path reads about three
// times in four.
test::SynthFrame cameraFrame(const test::TestSymbol& symbol, uint32_t seed, std::mt19937& random) {
    auto uniform = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    const double largest = std::min(5.0, 440.0 / (std::max(symbol.rows, symbol.cols) + 8));
    test::SynthOptions o;
    do {
        o.moduleSize = uniform(2.0, std::max(2.0, largest));
        o.rotationDeg = uniform(0, 360);
        o.offsetX = uniform(-150, 150);
        o.offsetY = uniform(-100, 100);
        o.blurSigma = uniform(0.5, 1.6);
        o.noiseSigma = uniform(4, 14);
        o.quietZone = 2 + static_cast<int>(random() % 4);
        o.seed = seed;
    } while (!test::symbolFits(symbol.rows, symbol.cols, o));
    return test::synthesiseFrame(symbol.matrix, symbol.rows, symbol.cols, o);
}

// The frame's pixels as frame intake reads them, as a picture (rows top-down). Gray levels go
// through the tool's colour conversion unchanged.
test::GrayPicture asPicture(const test::SynthFrame& frame) {
    const std::vector<uint8_t> stored = test::grayPixels(frame);  // rows bottom-up
    test::GrayPicture picture{frame.width, frame.height, {}};
    for (int y = frame.height - 1; y >= 0; --y) {
        const auto row = stored.begin() + static_cast<std::ptrdiff_t>(y) * frame.width;
        picture.pixels.insert(picture.pixels.end(), row, row + frame.width);
    }
    return picture;
}

// How many of count frames the camera path and the tool read.
struct Counts {
    int camera = 0;
    int tool = 0;
};

using CameraFiles = test::ToolTest;

// Frames from seed 1 are those the planning was tuned on; others are fresh.
Counts compare(const std::filesystem::path& dir, int count, uint32_t seed) {
    std::mt19937 random(seed);
    FrameIntake intake;  // one variant per frame, in turn, as the camera goes
    std::vector<std::string> cameraTexts(count);
    std::string files;
    Counts counts;
    for (int k = 0; k < count; ++k) {
        const int sizeIndex = k % kSizeCount;
        const test::TestSymbol symbol = test::symbolFor(
            sizeIndex, test::letters(symbolSize(sizeIndex).dataCodewords, k % 7 + 1));
        EXPECT_FALSE(symbol.matrix.empty()) << "frame " << k;
        const test::SynthFrame frame =
            cameraFrame(symbol, static_cast<uint32_t>(k + 1) + 1000 * (seed - 1), random);
        std::string text;
        if (decodeFrame(test::cameraFrame(frame), text, intake).decoded) {
            EXPECT_EQ(text, symbol.message) << "frame " << k;
            cameraTexts[k] = text;
            ++counts.camera;
        }
        std::string name = "frame";
        name += std::to_string(k);
        name += ".png";
        EXPECT_TRUE(test::writePng((dir / name).string(), asPicture(frame)));
        files += ' ';
        files += name;
    }
    const test::ToolRun r = test::runTool(dir, "decode --json" + files);
    std::istringstream lines(r.out);
    std::string line;
    for (int k = 0; k < count && std::getline(lines, line); ++k) {
        const auto j = nlohmann::json::parse(line);
        const bool ok = j["ok"].get<bool>();
        counts.tool += ok;
        if (!cameraTexts[k].empty()) {
            EXPECT_TRUE(ok) << "seed " << seed << " frame " << k
                            << " read by the camera path only: " << line;
            EXPECT_EQ(ok ? j["text"].get<std::string>() : "", cameraTexts[k]) << "frame " << k;
        }
    }
    EXPECT_GE(counts.tool, counts.camera) << "seed " << seed;
    return counts;
}

TEST_F(CameraFiles, DecodeReadsEveryFrameTheCameraPathReads) {
    if (test::fullSweep()) {
        for (const uint32_t seed : {1u, 2u, 3u}) {
            const Counts c = compare(dir_, 120, seed);
            std::printf("seed %u: decodeFrame %d/120, dmcodec decode %d/120\n", seed, c.camera,
                        c.tool);
        }
        return;
    }
    const int count = test::builtWithAddressSanitizer() ? 20 : 60;
    const Counts c = compare(dir_, count, 1);
    // Enlarging frames of fine modules reads most of what the camera path misses.
    EXPECT_TRUE(count < 60 || c.tool >= 44) << c.tool << " read, the camera path " << c.camera;
}

// Frames without a symbol, saved as files, decode nothing: the file path enlarges and frames
// pictures and reads them in every way a still image is read, and two textured frames once
// read as empty messages (a finder and alternating sides around a light interior).
TEST_F(CameraFiles, FramesWithoutASymbolDecodeNothing) {
    std::string files;
    for (const uint32_t seed : {114u, 713u, 2u}) {
        for (const auto background : {test::Background::Textured, test::Background::Cluttered}) {
            const std::string name =
                std::string(test::backgroundName(background)) + std::to_string(seed) + ".png";
            const CFrameDib frame = test::backgroundFrame(background, seed);
            const auto view = frameView(frame);
            ASSERT_TRUE(view.has_value());
            test::GrayPicture picture{view->width, view->height, {}};
            for (int y = view->height - 1; y >= 0; --y) {
                const uint8_t* row = view->pixels.data() + y * view->strideBytes();
                for (int x = 0; x < view->width; ++x)
                    picture.pixels.push_back(row[3 * x + 1]);  // gray: all channels equal
            }
            ASSERT_TRUE(test::writePng((dir_ / name).string(), picture));
            files += " " + name;
        }
    }
    const test::ToolRun r = run("decode --json" + files);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out.find("\"ok\":true"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace dm
