// The optimal encodation against zint's optimiser on short, medium and 1,500-byte messages of
// mixed content: the whole symbol each time (encodation, error correction, placement).
#include <benchmark/benchmark.h>
#include <zint.h>

#include <string>

#include "encoder/symbol_encoder.h"

namespace {

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
        auto series = dm::EncodeSymbols(
            {reinterpret_cast<const uint8_t*>(message.data()), message.size()}, options);
        if (series.symbols.empty())
            state.SkipWithError(series.error.c_str());
        benchmark::DoNotOptimize(series);
    }
}
BENCHMARK_CAPTURE(BM_EncodeOptimal, ours_20_bytes, kShort)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodeOptimal, ours_200_bytes, kMedium)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_EncodeOptimal, ours_1500_bytes, kLong)->Unit(benchmark::kMicrosecond);

void BM_ZintOptimiser(benchmark::State& state, const std::string& message) {
    for (auto _ : state) {
        zint_symbol* symbol = ZBarcode_Create();
        symbol->symbology = BARCODE_DATAMATRIX;
        symbol->option_3 = DM_SQUARE;
        const int rc =
            ZBarcode_Encode(symbol, reinterpret_cast<const unsigned char*>(message.data()),
                            static_cast<int>(message.size()));
        if (rc >= ZINT_ERROR)
            state.SkipWithError(symbol->errtxt);
        benchmark::DoNotOptimize(symbol->width);
        ZBarcode_Delete(symbol);
    }
}
BENCHMARK_CAPTURE(BM_ZintOptimiser, zint_20_bytes, kShort)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ZintOptimiser, zint_200_bytes, kMedium)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ZintOptimiser, zint_1500_bytes, kLong)->Unit(benchmark::kMicrosecond);

}  // namespace
