#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder_records.h"
#include "detection/sampling/finder_normalisation.h"
#include "detection/sampling/multi_region_sampling.h"
#include "detection/sampling/region_sampling.h"
#include "detection/sampling/symbol_measurement.h"
#include "encoder/message_encoder.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"

namespace dm {
namespace {

// Module matrix of size index i (encoder orientation: alternating row on top). Squares come
// from the message encoder, rectangles from placement of a Reed-Solomon protected stream.
std::vector<uint8_t> symbolMatrix(int sizeIndex) {
    const SymbolSize& size = symbolSize(sizeIndex);
    if (sizeIndex < kSquareCount) {
        std::string message;
        for (int i = 0; i < size.dataCodewords; ++i)
            message += static_cast<char>('A' + (i * 7) % 26);
        return EncodeMessage(message)->moduleMatrix;
    }
    std::vector<uint8_t> stream(size.dataCodewords + size.eccCodewords);
    for (int i = 0; i < size.dataCodewords; ++i)
        stream[i] = static_cast<uint8_t>(66 + (i * 11) % 26);
    encodeBlocks(stream, sizeIndex);
    return placeCodewords(stream, sizeIndex);
}

// Gray frame as frame intake makes it, with the image record the second stage reads.
struct GrayFrame {
    std::vector<uint8_t> pixels;
    std::vector<int32_t> rowOffsets;
    GrayImage image;
};

GrayFrame grayOf(const test::SynthFrame& synth, uint8_t threshold) {
    GrayFrame frame;
    frame.pixels.resize(static_cast<size_t>(synth.width) * synth.height);
    frame.rowOffsets.resize(synth.height);
    for (int i = 0; i < synth.height; ++i) {
        frame.rowOffsets[i] = i * synth.width;
        const uint8_t* row = synth.bgr.data() + static_cast<size_t>(i) * synth.stride;
        for (int j = 0; j < synth.width; ++j) {
            frame.pixels[static_cast<size_t>(i) * synth.width + j] = static_cast<uint8_t>(
                (59 * row[3 * j + 1] + 30 * row[3 * j + 2] + 11 * row[3 * j]) / 100);
        }
    }
    frame.image.width = synth.width;
    frame.image.height = synth.height;
    frame.image.threshold = threshold;
    frame.image.rowOffsets = frame.rowOffsets.data();
    frame.image.pixels = frame.pixels.data();
    return frame;
}

Point rounded(test::PointF p) {
    return {static_cast<int32_t>(std::lround(p.x)), static_cast<int32_t>(std::lround(p.y))};
}

// The finder as a perfect first stage would report it: true module centres.
DetectionContext trueFinder(GrayFrame& frame, int rows, int cols, const test::SynthOptions& o) {
    DetectionContext context;
    context.image = &frame.image;
    context.corner = rounded(test::moduleCentreInGray(rows, cols, rows - 1, 0, o));
    context.xEnd = rounded(test::moduleCentreInGray(rows, cols, rows - 1, cols - 1, o));
    context.yEnd = rounded(test::moduleCentreInGray(rows, cols, 0, 0, o));
    context.moduleSize = static_cast<int32_t>(std::lround(o.moduleSize));
    return context;
}

// Smallest frame (at least 320 x 240) that holds the rotated symbol and its quiet zone.
test::SynthOptions framedOptions(int rows, int cols, double moduleSize, double angle) {
    test::SynthOptions o;
    o.moduleSize = moduleSize;
    o.rotationDeg = angle;
    o.width = 320;
    o.height = 240;
    while (!test::symbolFits(rows, cols, o)) {
        o.width += 64;
        o.height += 64;
    }
    return o;
}

struct StageRun {
    bool ok = false;
    DecodeStatus status = DecodeStatus::Success;
    DetectionContext context;
};

StageRun runStage(DetectionContext context) {
    StageRun run;
    SamplingCache cache;
    run.ok = normaliseFinder(run.status, context, cache) && measureSymbol(run.status, context);
    run.context = std::move(context);
    return run;
}

struct SweepCase {
    int sizeIndex;
    double moduleSize;
    double angle;
    double blur;
    double noise;
};

std::string describe(const SweepCase& c) {
    const SymbolSize& s = symbolSize(c.sizeIndex);
    return std::to_string(s.symbolRows) + "x" + std::to_string(s.symbolCols) + " module " +
           std::to_string(c.moduleSize) + " angle " + std::to_string(c.angle) + " blur " +
           std::to_string(c.blur) + " noise " + std::to_string(c.noise);
}

// Runs the stage on one synthesised frame; empty when the sampled matrix equals the symbol.
std::string checkStage(const SweepCase& c) {
    const SymbolSize& size = symbolSize(c.sizeIndex);
    const int rows = size.symbolRows;
    const int cols = size.symbolCols;
    const std::vector<uint8_t> matrix = symbolMatrix(c.sizeIndex);
    test::SynthOptions o = framedOptions(rows, cols, c.moduleSize, c.angle);
    o.blurSigma = c.blur;
    o.noiseSigma = c.noise;
    o.seed = static_cast<uint32_t>(c.sizeIndex * 1000 + c.angle);
    GrayFrame frame = grayOf(test::synthesiseFrame(matrix, rows, cols, o), (o.dark + o.light) / 2);
    const StageRun run = runStage(trueFinder(frame, rows, cols, o));
    if (!run.ok)
        return "status " + std::to_string(toInt(run.status));
    if (run.context.sizeIndex != c.sizeIndex) {
        return "size index " + std::to_string(run.context.sizeIndex);
    }
    // The sampler's row 0 is the solid row, the encoder's last row.
    int wrong = 0;
    std::string first;
    for (int r = 0; r < rows; ++r) {
        for (int col = 0; col < cols; ++col) {
            const bool sampled = run.context.moduleMatrix[r * cols + col] != 0;
            const bool truth = matrix[(rows - 1 - r) * cols + col] != 0;
            if (sampled != truth && wrong++ == 0) {
                first =
                    " first at row " + std::to_string(rows - 1 - r) + " col " + std::to_string(col);
            }
        }
    }
    return wrong == 0 ? std::string() : std::to_string(wrong) + " modules wrong," + first;
}

// Every size at a handful of rotations spread over the circle, module sizes 4-10, with and
// without light blur and noise; large symbols get fewer rotations to keep the run short.
std::vector<SweepCase> quickSweep() {
    std::vector<SweepCase> cases;
    for (int i = 0; i < kSizeCount; ++i) {
        const int side = std::max(symbolSize(i).symbolRows, symbolSize(i).symbolCols);
        const int angles = side <= 26 || i >= kSquareCount ? 8 : side <= 52 ? 4 : 2;
        for (int k = 0; k < angles; ++k) {
            const double angle = std::fmod(k * 360.0 / angles + i * 17 + 5, 360.0);
            const double moduleSize = side >= 88 ? 4 + (i + k) % 3 : 4 + (i + 3 * k) % 7;
            const bool rough = (i + k) % 2 == 1;
            cases.push_back({i, moduleSize, angle, rough ? 0.7 : 0.0, rough ? 6.0 : 0.0});
        }
    }
    return cases;
}

TEST(SamplingStage, SampledMatrixEqualsTheSymbolForEverySize) {
    for (const SweepCase& c : quickSweep()) {
        EXPECT_EQ(checkStage(c), "") << describe(c);
    }
}

// The full sweep: every size, every 15 degrees, every module size 4-10, clean and rough.
// Run with --gtest_also_run_disabled_tests; it takes a while.
TEST(SamplingStage, DISABLED_FullSweep) {
    int total = 0;
    int passed = 0;
    for (int i = 0; i < kSizeCount; ++i) {
        for (int angle = 0; angle < 360; angle += 15) {
            for (int m = 4; m <= 10; ++m) {
                for (const bool rough : {false, true}) {
                    const SweepCase c{i, static_cast<double>(m), angle + 0.0, rough ? 0.7 : 0.0,
                                      rough ? 6.0 : 0.0};
                    const std::string what = checkStage(c);
                    ++total;
                    if (what.empty()) {
                        ++passed;
                    } else {
                        ADD_FAILURE() << describe(c) << ": " << what;
                    }
                }
            }
        }
    }
    std::printf("full sweep: %d of %d frames sampled exactly\n", passed, total);
}

}  // namespace
}  // namespace dm
