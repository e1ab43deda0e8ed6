#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "detection/finder_pass/finder_search.h"
#include "detection/shared/decoder_records.h"
#include "encoder/message_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/gray_frame.h"

namespace {

// A 640 x 480 gray frame as frame intake produces it, with the threshold set mid-way
// between the synthesiser's dark and light levels.
dm::test::GrayFrame makeFrame(bool withSymbol) {
    dm::test::SynthOptions options;
    const auto threshold = static_cast<uint8_t>((options.dark + options.light) / 2);
    if (!withSymbol)
        return {options.width, options.height, options.background, threshold};
    const std::string message(dm::symbolSize(7).dataCodewords, 'A');  // 24 x 24
    const auto symbol = *dm::EncodeMessage(message);
    options.rotationDeg = 17;
    return {dm::test::synthesiseFrame(symbol.moduleMatrix, symbol.side, symbol.side, options),
            threshold};
}

void runFinder(benchmark::State& state, bool withSymbol) {
    dm::test::GrayFrame frame = makeFrame(withSymbol);
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
