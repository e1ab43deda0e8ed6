#include "decoder/decoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

#include "decoder/data_decodation.h"
#include "detection/finder_pass/finder_normalisation.h"
#include "detection/finder_pass/finder_search.h"
#include "detection/finder_pass/symbol_measurement.h"
#include "detection/finder_pass/threshold.h"
#include "symbology/codeword_correction.h"
#include "symbology/codeword_values.h"
#include "symbology/placement.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// Clears what the last decode left of a message and records the size being read.
void startMessage(DecodeState& state, int sizeIndex) {
    state.sizeIndex = sizeIndex;
    state.text.clear();
    state.textLength = 0;
    state.appendPosition = state.appendTotal = state.fileId1 = state.fileId2 = 0;
    state.format = MessageFormat{};
}

// Outer corners of the measured symbol in frame pixels. The finder points are module centres
// on the normalised grid, so the outline lies half a module further out; the grid's per-row
// terms carry 0.5 for rounding, which the exact position leaves out.
SymbolCorners frameOutline(const DetectionContext& context, const SamplingGrid& grid) {
    const SymbolSize& size = symbolSize(context.sizeIndex);
    const double halfU = 0.5 * (context.xEnd.x - context.corner.x) / (size.symbolCols - 1);
    const double halfV = 0.5 * (context.yEnd.y - context.corner.y) / (size.symbolRows - 1);
    const double u0 = context.corner.x - halfU;
    const double u1 = context.xEnd.x + halfU;
    const double v0 = context.corner.y - halfV;
    const double v1 = context.yEnd.y + halfV;
    const double a = grid.xOfU[1] - grid.xOfU[0];
    const double b = grid.xOfV[1] - grid.xOfV[0];
    const double c = grid.xOfV[0] - 0.5;
    const double d = grid.yOfU[1] - grid.yOfU[0];
    const double e = grid.yOfV[1] - grid.yOfV[0];
    const double f = grid.yOfV[0] - 0.5;
    auto frame = [&](double u, double v) {
        return ImagePoint{(a * u + b * v + c) / 2, (d * u + e * v + f) / 2};  // half pixels
    };
    // The corner point is the symbol's bottom left, xEnd ends its bottom row, yEnd its left
    // column.
    return {frame(u0, v1), frame(u1, v1), frame(u1, v0), frame(u0, v0)};
}

}  // namespace

namespace {

// The matrix's codeword stream extracted and corrected (starting the message in state); false
// with status set when it cannot be.
// The detection reads stored row i as picture row height - 1 - i, with pixel centres at whole
// numbers; picture coordinates have pixel corners there.
ImagePoint toPicture(PointD p, double height) {
    return {p.x + 0.5, height - 0.5 - p.y};
}

PointD toDetection(ImagePoint p, double height) {
    return {p.x - 0.5, height - 0.5 - p.y};
}

// Per codeword of the stream, how many of its modules are doubtful: sampled within a fifth of
// the dark and light levels' distance of the level they were split at.
std::vector<uint8_t> codewordDoubt(const SampledLevels& sampled, int sizeIndex) {
    const SymbolSize& size = symbolSize(sizeIndex);
    std::vector<uint8_t> doubt(static_cast<size_t>(size.dataCodewords) + size.eccCodewords);
    int64_t darkSum = 0, lightSum = 0, dark = 0;
    for (const uint8_t level : sampled.levels) {
        const bool isDark = level <= sampled.split;
        dark += isDark;
        (isDark ? darkSum : lightSum) += level;
    }
    const auto count = static_cast<int64_t>(sampled.levels.size());
    if (dark == 0 || dark == count)
        return doubt;
    const double distance = static_cast<double>(lightSum) / static_cast<double>(count - dark) -
                            static_cast<double>(darkSum) / static_cast<double>(dark);
    constexpr double kDoubtfulShare = 0.2;
    const std::vector<int32_t> bits = moduleBits(sizeIndex);
    for (size_t i = 0; i < bits.size() && i < sampled.levels.size(); ++i) {
        const double off = std::abs(static_cast<double>(sampled.levels[i]) - sampled.split - 0.5);
        if (bits[i] >= 0 && off < kDoubtfulShare * distance) {
            uint8_t& d = doubt[static_cast<size_t>(bits[i] / 8)];
            d = static_cast<uint8_t>(std::min(d + 1, 8));
        }
    }
    return doubt;
}

bool correctMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState& state,
                   DecodeStatus& status, CodewordCorrection& corrected,
                   std::span<const uint8_t> doubt = {}) {
    startMessage(state, sizeIndex);
    if (!isValidSizeIndex(sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    const SymbolSize& size = symbolSize(sizeIndex);
    if (matrix.size() < static_cast<size_t>(size.symbolRows) * size.symbolCols) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    std::vector<uint8_t> stream(size.dataCodewords + size.eccCodewords);
    if (!extractCodewords(matrix, sizeIndex, stream, status))
        return false;
    corrected = correctCodewords(stream, sizeIndex, BlockScope::UntilUncorrectable, doubt);
    if (!corrected.ok) {
        status = corrected.status;
        return false;
    }
    return true;
}

bool decodeCorrected(const CodewordCorrection& corrected, int sizeIndex, DecodeState& state,
                     DecodeStatus& status) {
    return decodeCorrectedData(
        std::span(corrected.codewords).first(symbolSize(sizeIndex).dataCodewords), sizeIndex, state,
        status);
}

bool everyBlock(const CodewordCorrection& corrected, bool (*holds)(const BlockErrors&)) {
    return std::all_of(corrected.blocks.begin(), corrected.blocks.end(), holds);
}

}  // namespace

bool decodeModuleMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState& state,
                        DecodeStatus& status) {
    try {
        CodewordCorrection corrected;
        return correctMatrix(matrix, sizeIndex, state, status, corrected) &&
               decodeCorrected(corrected, sizeIndex, state, status);
    } catch (const std::bad_alloc&) {
        status = DecodeStatus::OutOfMemory;
        return false;
    }
}

bool decodeSearchedMatrix(std::span<const uint8_t> matrix, int sizeIndex, bool speculative,
                          const SampledLevels* sampled, DecodeState& state, DecodeStatus& status) {
    try {
        CodewordCorrection corrected;
        bool ok = correctMatrix(matrix, sizeIndex, state, status, corrected);
        // A block beyond correction: again with the codewords of doubtful modules erased.
        if (!ok && status == DecodeStatus::BlockUncorrectable && sampled != nullptr &&
            sampled->levels.size() == matrix.size()) {
            const std::vector<uint8_t> doubt = codewordDoubt(*sampled, sizeIndex);
            ok = correctMatrix(matrix, sizeIndex, state, status, corrected, doubt);
        }
        if (!ok)
            return false;
        if (speculative &&
            !everyBlock(corrected, [](const BlockErrors& b) { return b.errors < b.capacity; })) {
            status = DecodeStatus::BlockUncorrectable;
            return false;
        }
        // Erasures weaken the check Reed-Solomon keeps: a correction through them must leave
        // a codeword's two syndromes to spare in every block.
        constexpr int32_t kSpareSyndromes = 2;
        const bool erased =
            !everyBlock(corrected, [](const BlockErrors& b) { return b.erased == 0; });
        if (erased && !everyBlock(corrected, [](const BlockErrors& b) {
                return b.spareSyndromes >= kSpareSyndromes;
            })) {
            status = DecodeStatus::BlockUncorrectable;
            return false;
        }
        if (!decodeCorrected(corrected, sizeIndex, state, status))
            return false;
        // A light interior within a finder and alternating sides holds all-zero codewords,
        // which Reed-Solomon takes as they are and data decodation passes over.
        if (state.textLength == 0 &&
            (corrected.codewords[0] != kPad ||
             !everyBlock(corrected, [](const BlockErrors& b) { return b.errors == 0; }))) {
            status = DecodeStatus::DataDecodationFailed;
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        status = DecodeStatus::OutOfMemory;
        return false;
    }
}

bool decodeCorrectedData(std::span<const uint8_t> data, int sizeIndex, DecodeState& state,
                         DecodeStatus& status) {
    startMessage(state, sizeIndex);
    try {
        state.text.reserve(maxMessageBytes(data.size()));
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
    return decodePixels(pixels, outText, width, height, 1, width, false,
                        [this] { return decodeSymbol(); });
}

DecodeResult Decoder::decodeView(const ImageView& view) {
    return readView(view, [this] { return decodeSymbol(); });
}

DecodeResult Decoder::searchView(const ImageView& view, FrameSearchReadings readings) {
    return readView(view, [this, readings] { return searchFrame(readings); });
}

template <typename Detect>
DecodeResult Decoder::readView(const ImageView& view, Detect detect) {
    found = DecodeResult{};
    std::string text;
    bool decoded = false;
    const int32_t bytesPerPixel = dm::bytesPerPixel(view.format);
    if (bytesPerPixel != 0) {
        decoded = decodePixels(view.pixels, text, view.width, view.height, bytesPerPixel,
                               view.strideBytes(), view.rowOrder == RowOrder::TopDown, detect);
    } else {
        status = DecodeStatus::MissingInput;
        resultSizeIndex = -1;
        resetState();
    }
    DecodeResult result = std::move(found);
    found = DecodeResult{};
    result.decoded = decoded;
    result.status = status;
    if (decoded)
        result.text = std::move(text);
    if (result.corners) {
        for (ImagePoint& p : *result.corners)
            p = toPicture(p, view.height);
    }
    return result;
}

template <typename Detect>
bool Decoder::decodePixels(std::span<const uint8_t> pixels, std::string& outText, int width,
                           int height, int bytesPerPixel, int64_t rowBytes, bool lastRowFirst,
                           Detect detect) {
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
            // Row offsets are kept for the next image of the same size and layout.
            SamplingCache& cache = state.cache;
            const auto rows = static_cast<size_t>(height);
            auto offset = [&](size_t i) {
                const auto stored = static_cast<int64_t>(lastRowFirst ? rows - 1 - i : i);
                return static_cast<int32_t>(stored * rowBytes);
            };
            if (cache.rowOffsets.size() != rows || cache.rowOffsets[0] != offset(0) ||
                (rows > 1 && cache.rowOffsets[1] != offset(1))) {
                cache.rowOffsets.resize(rows);
                for (size_t i = 0; i < rows; ++i)
                    cache.rowOffsets[i] = offset(i);
            }
            state.image.width = width;
            state.image.height = height;
            state.image.pixels = pixels.data();
            state.image.rowOffsets = cache.rowOffsets.data();
            state.image.bytesPerPixel = bytesPerPixel;
            decoded = detect();
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
    const int variant = static_cast<int>(cache.frameCounter % kThresholdVariantCount);
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
    found = DecodeResult{};
    DetectionContext context;
    context.image = &state.image;
    const bool sampled = runPipeline(context);
    // A size was found once the matrix was sized, whether or not sampling then succeeded.
    if (context.matrixBytes > 0 && state.image.grid != nullptr &&
        isValidSizeIndex(context.sizeIndex)) {
        const SymbolSize& size = symbolSize(context.sizeIndex);
        found.sizeIndex = context.sizeIndex;
        found.symbolRows = size.symbolRows;
        found.symbolCols = size.symbolCols;
        found.corners = frameOutline(context, *state.image.grid);
    }
    if (!sampled)
        return false;
    state.moduleMatrix = std::move(context.moduleMatrix);
    const bool decoded = decodeModuleMatrix(state.moduleMatrix, context.sizeIndex, state, status);
    state.moduleMatrix.clear();
    return decoded && finishDecoded();
}

bool Decoder::searchFrame(FrameSearchReadings readings) {
    found = DecodeResult{};
    // The rows are read bottom-up (see decodeView), where a printed symbol's L turns from +x to
    // +y.
    const FrameSearchResult result = searchWholeFrame(state.image, FinderTurn::PlusXToPlusY,
                                                      frameSearch, matrixDecoder(), readings);
    status = result.status;
    if (!result.decoded)
        return false;
    takeSearched(result);
    return true;
}

MatrixDecoder Decoder::matrixDecoder() {
    return [this](std::span<const uint8_t> matrix, int sizeIndex, bool speculative,
                  const SampledLevels* sampled, DecodeStatus& s) {
        return decodeSearchedMatrix(matrix, sizeIndex, speculative, sampled, state, s);
    };
}

void Decoder::takeSearched(const FrameSearchResult& result) {
    const SymbolSize& size = symbolSize(state.sizeIndex);
    found.sizeIndex = state.sizeIndex;
    found.symbolRows = size.symbolRows;
    found.symbolCols = size.symbolCols;
    found.corners = result.corners;
    found.mirrored = result.mirrored;
    found.inverted = result.inverted;
    finishDecoded();
}

std::vector<DecodeResult> Decoder::collectView(const ImageView& view, FrameSearchReadings readings,
                                               std::span<const SymbolCorners> known, int32_t most) {
    std::vector<DecodeResult> symbols;
    if (most <= 0)
        return symbols;
    SymbolCollection collection;
    for (const SymbolCorners& corners : known) {
        std::array<PointD, 4> outline = corners;
        for (PointD& p : outline)
            p = toDetection(p, view.height);
        collection.known.push_back(outline);
    }
    collection.found = [&](const FrameSearchResult& result) {
        found = DecodeResult{};
        takeSearched(result);
        DecodeResult symbol = std::move(found);
        found = DecodeResult{};
        symbol.decoded = true;
        symbol.status = DecodeStatus::Success;
        symbol.text = resultText;
        for (ImagePoint& p : *symbol.corners)
            p = toPicture(p, view.height);
        symbols.push_back(std::move(symbol));
        return static_cast<int32_t>(symbols.size()) < most;
    };
    readView(view, [&] {
        collectWholeFrame(state.image, FinderTurn::PlusXToPlusY, frameSearch, matrixDecoder(),
                          readings, collection);
        return false;
    });
    return symbols;
}

bool Decoder::finishDecoded() {
    resultText.assign(state.text.begin(), state.text.end());
    resultSizeIndex = state.sizeIndex;
    found.appendPosition = state.appendPosition;
    found.appendTotal = state.appendTotal;
    found.fileId1 = state.fileId1;
    found.fileId2 = state.fileId2;
    found.symbologyIdentifier = symbologyIdentifier(state.format);
    found.eciSegments = state.format.eciSegments;
    found.gs1 = state.format.fnc1 == Fnc1Mode::Gs1;
    found.macro = state.format.macro;
    found.readerProgramming = state.format.readerProgramming;
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
    state.format = MessageFormat{};
    state.moduleMatrix.clear();
    state.image = GrayImage{};
    return true;
}

}  // namespace dm
