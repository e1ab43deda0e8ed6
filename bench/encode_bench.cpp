// Encoder timings: EncodeMessage for the smallest and largest symbols, GenerateSymbolFile for
// the largest image, and zint's encoder on the same messages for comparison.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zint.h>

#include <filesystem>
#include <string>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"

namespace {

const std::string kSmall = "123456";                // 10x10
const std::string kLarge = std::string(3116, '7');  // 144x144, no pad

std::span<const uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

void BM_EncodeMessage(benchmark::State& state, const std::string& message) {
    for (auto _ : state) {
        auto symbol = dm::EncodeMessage(bytesOf(message));
        benchmark::DoNotOptimize(symbol);
    }
}
BENCHMARK_CAPTURE(BM_EncodeMessage, ours_10x10, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodeMessage, ours_144x144, kLarge)->Unit(benchmark::kMicrosecond);

void BM_ZintEncode(benchmark::State& state, const std::string& message, int sizeOption) {
    for (auto _ : state) {
        zint_symbol* symbol = ZBarcode_Create();
        symbol->symbology = BARCODE_DATAMATRIX;
        symbol->option_2 = sizeOption;
        const int rc =
            ZBarcode_Encode(symbol, reinterpret_cast<const unsigned char*>(message.data()),
                            static_cast<int>(message.size()));
        if (rc >= ZINT_ERROR)
            state.SkipWithError(symbol->errtxt);
        benchmark::DoNotOptimize(symbol->width);
        ZBarcode_Delete(symbol);
    }
}
BENCHMARK_CAPTURE(BM_ZintEncode, zint_10x10, kSmall, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ZintEncode, zint_144x144, kLarge, 24)->Unit(benchmark::kMicrosecond);

// The largest image: 144 modules, quiet zone 20, module size 20 (3,680 x 3,680 pixels).
void BM_GenerateSymbolFileLargest(benchmark::State& state) {
    const auto path =
        std::filesystem::temp_directory_path() / ("dm-bench-" + std::to_string(getpid()) + ".jpg");
    for (auto _ : state) {
        const int side = dm::GenerateSymbolFile(bytesOf(kLarge), path.string(), 20, 20);
        if (side != 144)
            state.SkipWithError("generation failed");
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_GenerateSymbolFileLargest)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
