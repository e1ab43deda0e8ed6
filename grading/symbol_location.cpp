#include "grading/symbol_location.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

#include "detection/frame_search/frame_search.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// Outlines offered, at most: the search ends once it has met this many.
constexpr size_t kMostOutlines = 16;
// Outlines whose corners all lie within this many pixels of each other's are one.
constexpr double kSamePlace = 1.0;

// Whether the finder of the outline reads lighter than the quiet zone beside it: a symbol
// printed light on dark, or the frame around a dark symbol that the negative offers.
bool finderLighter(const ReflectanceImage& image, const OutlineCandidate& outline) {
    const SymbolSize& s = symbolSize(outline.sizeIndex);
    const auto map = symbolToImage(outline.corners, s.symbolCols, s.symbolRows);
    if (!map)
        return false;
    double finder = 0, quiet = 0;
    for (int32_t r = 0; r < s.symbolRows; ++r) {
        finder += image.sample(map->map(0.5, r + 0.5));
        quiet += image.sample(map->map(-0.5, r + 0.5));
    }
    for (int32_t c = 0; c < s.symbolCols; ++c) {
        finder += image.sample(map->map(c + 0.5, s.symbolRows - 0.5));
        quiet += image.sample(map->map(c + 0.5, s.symbolRows + 0.5));
    }
    return finder > quiet;
}

}  // namespace

bool searchOutlines(const ReflectanceImage& image,
                    const std::function<bool(const OutlineCandidate&)>& read) {
    // Rows are addressed through 32-bit offsets, as the decoder addresses them.
    if (image.width <= 0 || image.height <= 0 || int64_t{image.width} * image.height > INT32_MAX)
        return false;
    std::vector<uint8_t> gray(image.values.size());
    for (size_t i = 0; i < gray.size(); ++i)
        gray[i] = static_cast<uint8_t>(std::lround(std::clamp(image.values[i], 0.0f, 1.0f) * 255));
    // The detection reads the picture bottom-up, as a camera stores it: its row i is the
    // picture's row height - 1 - i.
    std::vector<int32_t> rowOffsets(static_cast<size_t>(image.height));
    for (int32_t i = 0; i < image.height; ++i)
        rowOffsets[static_cast<size_t>(i)] = (image.height - 1 - i) * image.width;
    GrayImage frame;
    frame.width = image.width;
    frame.height = image.height;
    frame.pixels = gray.data();
    frame.rowOffsets = rowOffsets.data();
    frame.bytesPerPixel = 1;

    // The still image's readings, as a decode of a picture file searches it, each new outline
    // read as it is sampled; the search goes on until one reads or enough were met.
    std::vector<OutlineCandidate> met;
    bool readOne = false;
    bool done = false;
    FrameSearchReadings readings{.alsoMirrored = true,
                                 .alsoInverted = true,
                                 .alsoClosed = true,
                                 .alsoJoined = false,
                                 .damagedFinders = INT32_MAX};
    readings.sampled = [&](const std::array<PointD, 4>& corners, int sizeIndex) {
        if (done || !isValidSizeIndex(sizeIndex))
            return;
        OutlineCandidate c;
        c.sizeIndex = sizeIndex;
        for (size_t i = 0; i < c.corners.size(); ++i)
            c.corners[i] = {corners[i].x + 0.5, image.height - 0.5 - corners[i].y};
        const bool known = std::any_of(met.begin(), met.end(), [&](const OutlineCandidate& o) {
            for (size_t i = 0; i < o.corners.size(); ++i) {
                if (!(length(o.corners[i] - c.corners[i]) <= kSamePlace))
                    return false;
            }
            return o.sizeIndex == c.sizeIndex;
        });
        if (known)
            return;
        c.inverted = finderLighter(image, c);
        met.push_back(c);
        readOne = read(c);
        done = readOne || met.size() >= kMostOutlines;
    };
    // The sampling just noted ends the search once an outline read or enough were met.
    const MatrixDecoder enough = [&](std::span<const uint8_t>, int, bool, const SampledLevels*,
                                     DecodeStatus& status) {
        status = done ? DecodeStatus::Success : DecodeStatus::BlockUncorrectable;
        return done;
    };
    FrameSearchBuffers buffers;
    searchWholeFrame(frame, FinderTurn::PlusXToPlusY, buffers, enough, readings);
    return readOne;
}

}  // namespace dm
