// Camera frames saved as files: decode must read every one the camera path reads from the same
// pixels, since a frame is first decoded as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "decoder/frame_intake.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_readers.h"
#include "tests/support/symbol_builders.h"
#include "tests/support/tool_runner.h"

namespace dm {
namespace {

// A 640 x 480 frame: the symbol of size k, fine modules (2 to 5 pixels, as far as the symbol
// fits), any rotation and position, blur and noise: frames the camera path reads about three
// times in four.
test::SynthFrame cameraFrame(const test::TestSymbol& symbol, int k, std::mt19937& random) {
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
        o.seed = static_cast<uint32_t>(k + 1);
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

using CameraFiles = test::ToolTest;

TEST_F(CameraFiles, DecodeReadsEveryFrameTheCameraPathReads) {
    const int count = test::builtWithAddressSanitizer() ? 20 : 60;
    std::mt19937 random(1);
    FrameIntake intake;  // one variant per frame, in turn, as the camera goes
    std::vector<std::string> cameraTexts(count);
    std::string files;
    int cameraRead = 0;
    for (int k = 0; k < count; ++k) {
        const int sizeIndex = k % kSizeCount;
        const test::TestSymbol symbol = test::symbolFor(
            sizeIndex, test::letters(symbolSize(sizeIndex).dataCodewords, k % 7 + 1));
        ASSERT_FALSE(symbol.matrix.empty()) << "frame " << k;
        const test::SynthFrame frame = cameraFrame(symbol, k, random);
        std::string text;
        if (decodeFrame(test::cameraFrame(frame), text, intake).decoded) {
            EXPECT_EQ(text, symbol.message) << "frame " << k;
            cameraTexts[k] = text;
            ++cameraRead;
        }
        const std::string name = "frame" + std::to_string(k) + ".png";
        ASSERT_TRUE(test::writePng((dir_ / name).string(), asPicture(frame)));
        files += " " + name;
    }
    const test::ToolRun r = run("decode --json" + files);
    std::istringstream lines(r.out);
    std::string line;
    int toolRead = 0;
    for (int k = 0; k < count && std::getline(lines, line); ++k) {
        const auto j = nlohmann::json::parse(line);
        const bool ok = j["ok"].get<bool>();
        toolRead += ok;
        if (!cameraTexts[k].empty()) {
            EXPECT_TRUE(ok) << "frame " << k << " read by the camera path only: " << line;
            EXPECT_EQ(ok ? j["text"].get<std::string>() : "", cameraTexts[k]) << "frame " << k;
        }
    }
    EXPECT_GE(toolRead, cameraRead);
    // Enlarging frames of fine modules reads most of what the camera path misses.
    EXPECT_TRUE(count < 60 || toolRead >= 44)
        << toolRead << " read, the camera path " << cameraRead;
}

}  // namespace
}  // namespace dm
