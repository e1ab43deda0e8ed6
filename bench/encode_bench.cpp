// Encoder timings: EncodeMessage for the smallest and largest symbols, GenerateSymbolFile for
// the largest image, the optimal encodation on short, medium and 1,500-byte mixed messages, and
// zint's encoder (with its optimiser) on the same messages for comparison.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zint.h>

#include <filesystem>
#include <string>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "encoder/symbol_encoder.h"

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

// Mixed content: words, digits, punctuation and GBK text, repeated to the length.
std::string mixedMessage(size_t length) {
    const std::string base =
        "Lot 4711-B/2026 ABC DEF; qty=000120 \xC4\xE3\xBA\xC3 https://x.cn/?id=99 ";
    std::string s;
    while (s.size() < length)
        s += base;
    s.resize(length);
    return s;
}

const std::string kShort = mixedMessage(20);
const std::string kMedium = mixedMessage(200);
const std::string kLong = mixedMessage(1500);

void BM_EncodeOptimal(benchmark::State& state, const std::string& message) {
    const dm::SymbolOptions options;
    for (auto _ : state) {
        auto series = dm::encodeSymbols(bytesOf(message), options);
        if (series.symbols.empty())
            state.SkipWithError(series.error.c_str());
        benchmark::DoNotOptimize(series);
    }
}
BENCHMARK_CAPTURE(BM_EncodeOptimal, ours_20_bytes, kShort)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodeOptimal, ours_200_bytes, kMedium)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodeOptimal, ours_1500_bytes, kLong)->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(BM_ZintEncode, zint_20_bytes, kShort, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ZintEncode, zint_200_bytes, kMedium, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ZintEncode, zint_1500_bytes, kLong, 0)->Unit(benchmark::kMicrosecond);

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
