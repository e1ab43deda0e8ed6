// Decode work per image file, once loaded, on the images that cost the most: the largest image
// read (8,192 x 8,192), the thinnest that can hold a symbol along the longest side (16,384 x 8),
// a camera frame without a symbol and a symbol of one-pixel modules cropped to its edge. Target:
// every file within 10 s and 1 GB; the memory side is held by the tool tests under ulimit -v.
#include <benchmark/benchmark.h>

#include <random>

#include "decoder/decode_image.h"
#include "decoder/picture_attempts.h"
#include "encoder/symbol_renderer.h"

namespace {

using dm::GrayPicture;

// Single black and white pixels at random: runs of one pixel everywhere, no symbol.
GrayPicture noise(int width, int height) {
    std::mt19937 random(3);
    GrayPicture image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height)};
    for (uint8_t& v : image.gray)
        v = random() % 2 ? 255 : 0;
    return image;
}

void decodeEachTime(benchmark::State& state, const GrayPicture& image, bool decodes) {
    for (auto _ : state) {
        const dm::DecodeResult outcome =
            dm::decodeImage({image.gray, image.width, image.height}, {std::nullopt, true});
        if (outcome.decoded != decodes)
            state.SkipWithError("unexpected result");
        benchmark::DoNotOptimize(outcome);
    }
}

void BM_DecodePictureLargestNoise(benchmark::State& state) {
    decodeEachTime(state, noise(8192, 8192), false);
}
BENCHMARK(BM_DecodePictureLargestNoise)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DecodePictureThinNoise(benchmark::State& state) {
    decodeEachTime(state, noise(16384, 8), false);
}
BENCHMARK(BM_DecodePictureThinNoise)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DecodePictureCameraFrameNoise(benchmark::State& state) {
    decodeEachTime(state, noise(640, 480), false);
}
BENCHMARK(BM_DecodePictureCameraFrameNoise)->Unit(benchmark::kMillisecond);

void BM_DecodePictureCroppedOnePixelModules(benchmark::State& state) {
    const std::string text(1000, '7');
    const auto symbol = dm::RenderSymbol(
        std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 1, 0);
    decodeEachTime(state, {symbol->image.width, symbol->image.height, symbol->image.pixels}, true);
}
BENCHMARK(BM_DecodePictureCroppedOnePixelModules)->Unit(benchmark::kMillisecond);

}  // namespace
