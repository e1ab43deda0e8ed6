#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder_records.h"
#include "detection/finder/finder_search.h"
#include "encoder/message_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"

namespace {

// A 640 x 480 gray frame as frame intake produces it, with the threshold set mid-way
// between the synthesiser's dark and light levels.
struct BenchFrame {
    std::vector<uint8_t> pixels;
    std::vector<int32_t> rowOffsets;
    dm::GrayImage image;
};

BenchFrame makeFrame(bool withSymbol) {
    dm::test::SynthOptions options;
    BenchFrame frame;
    frame.pixels.assign(static_cast<size_t>(options.width) * options.height, options.background);
    if (withSymbol) {
        const std::string message(dm::symbolSize(7).dataCodewords, 'A');  // 24 x 24
        const auto symbol = *dm::EncodeMessage(message);
        options.rotationDeg = 17;
        const auto synth =
            dm::test::synthesiseFrame(symbol.moduleMatrix, symbol.side, symbol.side, options);
        frame.pixels = dm::test::grayPixels(synth);
    }
    frame.image.width = options.width;
    frame.image.height = options.height;
    frame.image.threshold = (options.dark + options.light) / 2;
    frame.image.pixels = frame.pixels.data();
    frame.rowOffsets = dm::test::grayRowOffsets(options.width, options.height);
    frame.image.rowOffsets = frame.rowOffsets.data();
    return frame;
}

void runFinder(benchmark::State& state, bool withSymbol) {
    BenchFrame frame = makeFrame(withSymbol);
    for (auto _ : state) {
        dm::DetectionContext context;
        context.image = &frame.image;
        dm::DecodeStatus status = dm::DecodeStatus::Success;
        benchmark::DoNotOptimize(dm::findFinder(status, context));
        benchmark::DoNotOptimize(context);
    }
}

void BM_FindFinderSymbol24(benchmark::State& state) {
    runFinder(state, true);
}
void BM_FindFinderEmptyFrame(benchmark::State& state) {
    runFinder(state, false);
}

BENCHMARK(BM_FindFinderSymbol24)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FindFinderEmptyFrame)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
