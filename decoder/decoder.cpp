#include "decoder/decoder.h"

#include <climits>
#include <new>

#include "decoder/data_decodation.h"
#include "decoder/threshold.h"
#include "detection/finder/finder_search.h"
#include "detection/sampling/finder_normalisation.h"
#include "detection/sampling/symbol_measurement.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

constexpr int kThresholdVariants = 3;

// Splits the stream and corrects every block under one interleaving.
bool correctBlocks(std::span<const uint8_t> stream, int sizeIndex, Interleaving interleaving,
                   BlockArray& dataBlocks, DecodeStatus& status) {
    BlockArray received = makeReceivedBlocks(sizeIndex);
    return splitBlocks(stream, received, sizeIndex, status, interleaving) &&
           decodeBlocks(received, dataBlocks, sizeIndex, status);
}

}  // namespace

bool decodeModuleMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState& state,
                        DecodeStatus& status) {
    state.sizeIndex = sizeIndex;
    state.text.clear();
    state.textLength = 0;
    state.appendPosition = state.appendTotal = state.fileId1 = state.fileId2 = 0;
    if (!isValidSizeIndex(sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    const SymbolSize& size = symbolSize(sizeIndex);
    if (matrix.size() < static_cast<size_t>(size.symbolRows) * size.symbolCols) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    try {
        std::vector<uint8_t> stream(size.dataCodewords + size.eccCodewords);
        if (!extractCodewords(matrix, sizeIndex, stream, status))
            return false;

        BlockArray dataBlocks = makeDataBlocks(sizeIndex);
        if (!correctBlocks(stream, sizeIndex, Interleaving::Compliant, dataBlocks, status)) {
            // Some writers of the 144x144 symbol deal the whole stream out by position.
            if (!(sizeIndex == kLargestSquare && status == DecodeStatus::BlockUncorrectable &&
                  correctBlocks(stream, sizeIndex, Interleaving::Legacy, dataBlocks, status))) {
                return false;
            }
        }
        std::vector<uint8_t> data(size.dataCodewords);
        if (!joinData(dataBlocks, data, sizeIndex, status))
            return false;

        // No scheme yields more than two bytes per codeword.
        state.text.reserve(2 * data.size());
        if (!decodeData(data, state.text, state, status)) {
            state.text.clear();
            state.textLength = 0;
            return false;
        }
    } catch (const std::bad_alloc&) {
        status = DecodeStatus::OutOfMemory;
        return false;
    }
    status = DecodeStatus::Success;
    return true;
}

bool Decoder::decode(std::span<const uint8_t> pixels, std::string& outText, int width, int height) {
    return decodeImage(pixels, outText, width, height, 1, width);
}

bool Decoder::decodeBgr(std::span<const uint8_t> pixels, std::string& outText, int width,
                        int height, int bytesPerPixel, int64_t rowBytes) {
    if (bytesPerPixel != 3 && bytesPerPixel != 4) {
        status = DecodeStatus::MissingInput;
        resultSizeIndex = -1;
        resetState();
        return false;
    }
    return decodeImage(pixels, outText, width, height, bytesPerPixel, rowBytes);
}

bool Decoder::decodeImage(std::span<const uint8_t> pixels, std::string& outText, int width,
                          int height, int bytesPerPixel, int64_t rowBytes) {
    bool decoded = false;
    resultSizeIndex = -1;
    // Rows are addressed through 32-bit offsets, so the whole frame must lie within 2 GiB.
    const bool fits = width > 0 && height > 0 && rowBytes >= int64_t{width} * bytesPerPixel &&
                      rowBytes <= INT32_MAX &&
                      rowBytes * (height - 1) + int64_t{width} * bytesPerPixel <= INT32_MAX;
    if (!fits || static_cast<int64_t>(pixels.size()) <
                     rowBytes * (height - 1) + int64_t{width} * bytesPerPixel) {
        status = DecodeStatus::MissingInput;
    } else {
        try {
            // Row offsets are kept for the next image of the same size.
            SamplingCache& cache = state.cache;
            const auto rows = static_cast<size_t>(height);
            if (cache.rowOffsets.size() != rows || (rows > 1 && cache.rowOffsets[1] != rowBytes)) {
                cache.rowOffsets.resize(rows);
                for (size_t i = 0; i < rows; ++i)
                    cache.rowOffsets[i] = static_cast<int32_t>(static_cast<int64_t>(i) * rowBytes);
            }
            state.image.width = width;
            state.image.height = height;
            state.image.pixels = pixels.data();
            state.image.rowOffsets = cache.rowOffsets.data();
            state.image.bytesPerPixel = bytesPerPixel;
            decoded = decodeSymbol();
        } catch (const std::bad_alloc&) {
            status = DecodeStatus::OutOfMemory;
            decoded = false;
        }
    }
    resetState();
    if (decoded)
        outText = resultText;
    return decoded;
}

bool Decoder::runPipeline(DetectionContext& context) {
    GrayImage& image = state.image;
    SamplingCache& cache = state.cache;
    const int variant = static_cast<int>(cache.frameCounter % kThresholdVariants);
    ++cache.frameCounter;

    image.threshold = computeThreshold(image, variant);

    if (!findFinder(status, context))
        return false;
    if (!normaliseFinder(status, context, cache))
        return false;
    if (!measureSymbol(status, context))
        return false;

    if (!isValidSizeIndex(context.sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    // The sampler writes the solid row first; extraction wants the alternating row on top.
    const SymbolSize& size = symbolSize(context.sizeIndex);
    if (!flipRows(context.moduleMatrix, size.symbolCols, size.symbolRows, status))
        return false;
    status = DecodeStatus::Success;
    return true;
}

bool Decoder::decodeSymbol() {
    DetectionContext context;
    context.image = &state.image;
    if (!runPipeline(context))
        return false;
    state.moduleMatrix = std::move(context.moduleMatrix);
    const bool decoded = decodeModuleMatrix(state.moduleMatrix, context.sizeIndex, state, status);
    state.moduleMatrix.clear();
    if (!decoded)
        return false;
    resultText.assign(state.text.begin(), state.text.end());
    resultSizeIndex = state.sizeIndex;
    return true;
}

bool Decoder::resetState() {
    state.text.clear();
    state.textLength = 0;
    state.sizeIndex = 0;
    state.appendPosition = 0;
    state.appendTotal = 0;
    state.fileId1 = 0;
    state.fileId2 = 0;
    state.moduleMatrix.clear();
    state.image = GrayImage{};
    return true;
}

}  // namespace dm
