// Frame decode timings: decodeFrame on 640 x 480 camera frames holding a 10x10, 26x26, 52x52
// and 104x104 symbol and on an empty frame, against zxing-cpp and libdmtx on the same frames.
// The comparison prints, per frame, each reader's median time, whether it decoded and the
// ratios (target: ours at most 1/10 of zxing-cpp's and 1/100 of libdmtx's). Every reader gets
// the same camera frame (24-bit BGR, rows bottom-up) and does its own gray conversion (ours
// reads pixels as gray only where the detection looks).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "decoder/frame_dib.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_readers.h"
#include "tests/support/symbol_builders.h"

namespace {

struct BenchFrame {
    std::string name;
    std::string message;
    dm::CFrameDib dib;  // camera format: 24-bit BGR, bottom-up
    int width = 0;
    int height = 0;
};

BenchFrame makeFrame(const std::string& name, int sizeIndex, double moduleSize, double angle) {
    dm::test::SynthOptions options;
    options.moduleSize = moduleSize;
    options.rotationDeg = angle;
    options.quietZone = 2;
    BenchFrame frame;
    frame.name = name;
    frame.width = options.width;
    frame.height = options.height;
    std::vector<uint8_t> matrix(4, 0);  // an all-light 2 x 2 "symbol": an empty frame
    int side = 2;
    if (sizeIndex >= 0) {
        frame.message = dm::test::letters(dm::symbolSize(sizeIndex).dataCodewords, 5);
        const dm::test::TestSymbol symbol = dm::test::symbolFor(sizeIndex, frame.message);
        matrix = symbol.matrix;
        side = symbol.rows;
    }
    const dm::test::SynthFrame synth = dm::test::synthesiseFrame(matrix, side, side, options);
    frame.dib = dm::test::cameraFrame(synth);
    return frame;
}

const std::vector<BenchFrame>& frames() {
    static const std::vector<BenchFrame> all = [] {
        std::vector<BenchFrame> list;
        list.push_back(makeFrame("10x10", 0, 6, 12));
        list.push_back(makeFrame("26x26", 8, 6, 12));
        list.push_back(makeFrame("52x52", 14, 5, 7));
        list.push_back(makeFrame("104x104", 20, 4, 3));
        list.push_back(makeFrame("empty", -1, 6, 0));
        return list;
    }();
    return all;
}

int frameStride(const BenchFrame& frame) {
    return static_cast<int>(dm::CFrameDib::stride(frame.width, 24));
}

// The camera frame as it is stored, with the whole-frame threshold, the variant that samples
// the most pixels.
bool decodeOurs(const BenchFrame& frame) {
    const dm::ImageView view{frame.dib.bits,       frame.width,        frame.height,
                             dm::PixelFormat::Bgr, frameStride(frame), dm::RowOrder::BottomUp};
    const dm::DecodeResult result = dm::decodeImage(view, {0});
    return result.decoded && result.text == frame.message;
}

bool decodeZxing(const BenchFrame& frame) {
    return dm::test::readFrameWithZxing(frame.dib) == frame.message;
}

bool decodeDmtx(const BenchFrame& frame) {
    return dm::test::readFrameWithDmtx(frame.dib, 1000) == frame.message;
}

void BM_DecodeFrame(benchmark::State& state, size_t index) {
    const BenchFrame& frame = frames()[index];
    bool decoded = false;
    for (auto _ : state) {
        decoded = decodeOurs(frame);
        benchmark::DoNotOptimize(decoded);
    }
    state.counters["decoded"] = decoded ? 1 : 0;
}
BENCHMARK_CAPTURE(BM_DecodeFrame, ours_10x10, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeFrame, ours_26x26, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeFrame, ours_52x52, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeFrame, ours_104x104, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeFrame, ours_empty, 4)->Unit(benchmark::kMicrosecond);

struct Timing {
    double medianMs = 0;
    bool decoded = false;
};

Timing timeReader(const std::function<bool(const BenchFrame&)>& reader, const BenchFrame& frame,
                  int runs) {
    std::vector<double> ms;
    bool decoded = false;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        decoded = reader(frame);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], decoded};
}

// One pass over all frames and readers; prints the comparison table.
void BM_DecodeComparison(benchmark::State& state) {
    for (auto _ : state) {
        std::printf("\n%-9s %12s %4s %12s %4s %12s %4s %10s %10s\n", "frame", "ours ms", "ok",
                    "zxing ms", "ok", "dmtx ms", "ok", "zxing/ours", "dmtx/ours");
        for (const BenchFrame& frame : frames()) {
            const Timing ours = timeReader(decodeOurs, frame, 31);
            const Timing zxing = timeReader(decodeZxing, frame, 15);
            const Timing dmtx = timeReader(decodeDmtx, frame, 3);
            std::printf("%-9s %12.3f %4s %12.3f %4s %12.3f %4s %10.1f %10.1f\n", frame.name.c_str(),
                        ours.medianMs, ours.decoded ? "yes" : "no", zxing.medianMs,
                        zxing.decoded ? "yes" : "no", dmtx.medianMs, dmtx.decoded ? "yes" : "no",
                        zxing.medianMs / ours.medianMs, dmtx.medianMs / ours.medianMs);
        }
        std::printf("target: zxing/ours >= 10 and dmtx/ours >= 100 where all three decode\n\n");
    }
}
BENCHMARK(BM_DecodeComparison)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
