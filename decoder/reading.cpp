#include "decoder/reading.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/picture_attempts.h"
#include "detection/shared/pixel_rows.h"

namespace dm {
namespace {

// The reading order. Measured on the synthesised camera tiers (640 x 480, 300 frames each;
// clean, camera, hard):
// 1. The finder pass under a frame-wide threshold: reads 88 / 77 / 20 % of the frames, the
//    symbols it reads in about a quarter of the time the frame search takes for them (0.4
//    against 1.9 ms on clean frames). Fails fast where there is no symbol.
// 2. The frame search under tile thresholds: reads every frame the finder pass reads and the
//    rest up to 100 / 100 / 90 % (symbols off centre, in perspective, on uneven light,
//    stretched unevenly). It reads each outline mirrored too, and beyond that as deep as the
//    picture allows (see SearchDepth): damaged finders, the negative (light on dark), regions
//    a scratch parted, symbols of separate dots.
// 3. The finder pass on the mirror image: symbols seen in a mirror that the frame search did
//    not locate.
// A still image runs the finder pass under all three variants before the frame search; an image
// file then larger pictures of itself (see picture_attempts.h): the sample folder's small,
// cropped and one-pixel-module files read only that way. On failure the result is the finder pass's
// first, unless it measured no symbol where the frame search located one.

// How much the frame search reads beyond dark outlines and their mirror images.
enum class SearchDepth {
    // A camera frame: the negative, regions joined around the first outline, two outlines as
    // damaged finders, and the dots closed once where many show a pitch apart; frames full of
    // small shapes leave no time for more.
    Camera,
    // A still image: every outline as a damaged finder too, and the dark map closed for dots and
    // joined over the whole picture.
    Still,
    // The larger pictures an image file is read as again (up to 40 million pixels): two
    // damaged finders only; the negative and the joined maps were read in the image itself.
    Enlarged,
};

FrameSearchReadings readingsFor(SearchDepth depth) {
    constexpr int32_t kFewDamagedFinders = 2;
    return {.alsoMirrored = true,
            .alsoInverted = depth != SearchDepth::Enlarged,
            .alsoClosed = depth == SearchDepth::Still,
            .alsoDots = depth == SearchDepth::Camera,
            .alsoJoined = depth == SearchDepth::Camera,
            .damagedFinders = depth == SearchDepth::Still ? INT32_MAX : kFewDamagedFinders};
}

class Reading {
  public:
    DecodeResult finderPass(const ImageView& view, uint32_t variant) {
        decoder_.state.cache.frameCounter = variant;
        return decoder_.decodeView(view);
    }

    DecodeResult frameSearch(const ImageView& view, SearchDepth depth) {
        return decoder_.searchView(view, readingsFor(depth));
    }

    // The outlines the last frame search located and read without decoding.
    const std::vector<LocatedOutline>& located() const { return decoder_.frameSearch.located; }

    // A mirrored symbol is the normal one with its rows in the other order: reading the stored
    // rows the other way round turns it back for the finder pass, which finds one turn of the
    // L only.
    DecodeResult mirroredFinderPass(const ImageView& view, uint32_t variant) {
        ImageView mirror = view;
        mirror.rowOrder =
            view.rowOrder == RowOrder::TopDown ? RowOrder::BottomUp : RowOrder::TopDown;
        DecodeResult result = finderPass(mirror, variant);
        result.mirrored = result.decoded;
        if (result.corners) {
            for (ImagePoint& p : *result.corners)
                p.y = view.height - p.y;
        }
        return result;
    }

  private:
    Decoder decoder_;
};

}  // namespace

// What a camera frame is read with, kept in FrameBuffers from frame to frame: the decoder (its
// gray copies, dark maps and statistics) and the halved frame of a large one.
struct ReadingBuffers {
    Reading reading;
    GrayPicture half;
};

FrameBuffers::FrameBuffers() noexcept = default;
FrameBuffers::~FrameBuffers() = default;
FrameBuffers::FrameBuffers(const FrameBuffers&) noexcept {}
FrameBuffers& FrameBuffers::operator=(const FrameBuffers& other) noexcept {
    if (this != &other)
        release();
    return *this;
}

ReadingBuffers& FrameBuffers::reading() {
    if (!buffers_)
        buffers_ = std::make_unique<ReadingBuffers>();
    return *buffers_;
}

void FrameBuffers::release() noexcept {
    buffers_.reset();
}

namespace {

// The frame search's failure replaces the finder pass's when it got further: it located an
// outline where the finder pass measured no symbol.
DecodeResult furtherOf(DecodeResult finderPass, DecodeResult frameSearch) {
    if (frameSearch.status != DecodeStatus::NoFinder && finderPass.sizeIndex < 0)
        return frameSearch;
    return finderPass;
}

// After the finder pass failed with first: the frame search, then the finder pass on the mirror
// image with the given variant.
DecodeResult searchThenMirror(Reading& reading, const ImageView& view, DecodeResult first,
                              uint32_t mirrorVariant, SearchDepth depth) {
    DecodeResult searched = reading.frameSearch(view, depth);
    if (searched.decoded)
        return searched;
    first = furtherOf(std::move(first), std::move(searched));
    DecodeResult mirrored = reading.mirroredFinderPass(view, mirrorVariant);
    return mirrored.decoded ? mirrored : first;
}

// One picture of a still image: the finder pass under each variant, the frame search, the
// finder pass on the mirror image with the variant that got furthest.
DecodeResult readPicture(Reading& reading, const ImageView& view,
                         SearchDepth depth = SearchDepth::Still) {
    if (view.width < kMinImageSide || view.height < kMinImageSide)
        return {};
    DecodeResult first;
    uint32_t furthest = 0;
    int furthestProgress = -1;
    for (uint32_t variant = 0; variant < kThresholdVariantCount; ++variant) {
        DecodeResult result = reading.finderPass(view, variant);
        if (result.decoded || result.status == DecodeStatus::MissingInput)
            return result;
        if (decodeProgress(result.status) > furthestProgress) {
            furthestProgress = decodeProgress(result.status);
            furthest = variant;
        }
        if (variant == 0)
            first = std::move(result);
    }
    return searchThenMirror(reading, view, std::move(first), furthest, depth);
}

// The stored row holding picture row y.
const uint8_t* pictureRow(const ImageView& view, int y) {
    const int stored = view.rowOrder == RowOrder::TopDown ? y : view.height - 1 - y;
    return view.pixels.data() + stored * view.strideBytes();
}

// The part of the view within [x0, x1) x [y0, y1) in gray, rows top-down.
GrayPicture grayRegion(const ImageView& view, int x0, int y0, int x1, int y1) {
    GrayPicture part{x1 - x0, y1 - y0, {}};
    part.gray.resize(static_cast<size_t>(part.width) * part.height);
    const int bytes = bytesPerPixel(view.format);
    for (int y = y0; y < y1; ++y) {
        grayRow(pictureRow(view, y) + static_cast<ptrdiff_t>(x0) * bytes, bytes,
                part.gray.data() + static_cast<size_t>(y - y0) * part.width,
                static_cast<size_t>(part.width));
    }
    return part;
}

// The view's pixels as gray levels, rows top-down: the pixels themselves when they are stored
// so already (image files come as such), else converted into copy.
GrayView grayViewOf(const ImageView& view, std::vector<uint8_t>& copy) {
    const int64_t bytes = bytesPerPixel(view.format);
    const int64_t stride = view.strideBytes();
    if (bytes == 1 && stride == view.width && view.rowOrder == RowOrder::TopDown)
        return {view.width, view.height, view.pixels};
    copy = grayRegion(view, 0, 0, view.width, view.height).gray;
    return {view.width, view.height, copy};
}

// One attempt of the plan; the corners come back in the image's own coordinates.
DecodeResult readAttempt(Reading& reading, const GrayView& image, const Attempt& attempt,
                         SearchDepth depth) {
    if (!attempt.framed)
        return readPicture(reading, {image.gray, image.width, image.height}, depth);
    const GrayPicture picture = framedPicture(image, attempt);
    DecodeResult result =
        readPicture(reading, {picture.gray, picture.width, picture.height}, depth);
    const double border = borderWidth(attempt.region, attempt.scale);
    if (result.corners) {
        for (ImagePoint& p : *result.corners) {
            p = {(p.x - border) / attempt.scale + attempt.region.x,
                 (p.y - border) / attempt.scale + attempt.region.y};
        }
    }
    return result;
}

// Runs a reading; one that runs out of memory fails with OutOfMemory.
template <typename Read>
DecodeResult guarded(Read read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        DecodeResult result;
        result.status = DecodeStatus::OutOfMemory;
        return result;
    }
}

// Camera frames of more pixels than this (HD and beyond) are searched at half resolution and
// read at full resolution where the search found an outline.
constexpr int64_t kLargeFramePixels = int64_t{1280} * 720;

// Rows y0 to y1 - 1 of the halved view (see halvedGray).
void halveRows(const ImageView& view, GrayPicture& half, int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
        halvedGrayRow(pictureRow(view, 2 * y), pictureRow(view, 2 * y + 1),
                      bytesPerPixel(view.format),
                      half.gray.data() + static_cast<size_t>(y) * half.width,
                      static_cast<size_t>(half.width));
    }
}

// The most threads one frame is read with.
constexpr int32_t kMostThreads = 64;

// The view in gray at half its width and height into half, rows top-down: each pixel the gray
// of the mean colour of four (the mean gray of four for gray pixels). With threads, in bands of
// rows, the caller's thread among them; a thread that cannot be started leaves its band to the
// caller's. half's pixels are all written: kept from an earlier frame, they are not cleared.
void halvedGray(const ImageView& view, int32_t threads, GrayPicture& half) {
    half.width = view.width / 2;
    half.height = view.height / 2;
    half.gray.resize(static_cast<size_t>(half.width) * half.height);
    if (threads <= 1) {
        halveRows(view, half, 0, half.height);
        return;
    }
    const int32_t bands = std::min(threads, kMostThreads);
    auto band = [&](int32_t i) {
        halveRows(view, half, static_cast<int>(int64_t{half.height} * i / bands),
                  static_cast<int>(int64_t{half.height} * (i + 1) / bands));
    };
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<size_t>(bands - 1));
    for (int32_t i = 1; i < bands; ++i) {
        try {
            helpers.emplace_back(band, i);
        } catch (const std::system_error&) {
            band(i);
        }
    }
    band(0);
    for (std::thread& t : helpers)
        t.join();
}

// Whether some square of 8 x 8 pixels of the gray picture holds levels this far apart: a symbol
// on its label does (dark and light modules, however blurred); a plain surface with noise and
// soft light does not.
bool showsContrast(const GrayPicture& picture) {
    constexpr int kBlock = 8;
    constexpr int kLeastContrast = 40;
    for (int y0 = 0; y0 + kBlock <= picture.height; y0 += kBlock) {
        for (int x0 = 0; x0 + kBlock <= picture.width; x0 += kBlock) {
            uint8_t low = 255, high = 0;
            for (int y = y0; y < y0 + kBlock; ++y) {
                const uint8_t* row = picture.gray.data() + static_cast<size_t>(y) * picture.width;
                for (int x = x0; x < x0 + kBlock; ++x) {
                    low = std::min(low, row[x]);
                    high = std::max(high, row[x]);
                }
            }
            if (high - low >= kLeastContrast)
                return true;
        }
    }
    return false;
}

// Fine texture on a halved frame: where a symbol's modules are too small for the frame search
// there (two to five pixels), they still show as blocks of 8 x 8 pixels whose levels cross
// their middle often along rows and along columns alike. Clutter does so along its lines and
// edges too, but a symbol's textured blocks make a patch with a plain label around it, where
// clutter's lie among more clutter.
constexpr int kTextureBlock = 8;
constexpr int kTextureCell = kTextureBlock / 2;
static_assert(kTextureCell == 4, "a cell's four columns are written out");

// The lowest and highest level of each cell of 4 x 4 pixels of the picture.
struct CellLevels {
    int cols = 0, rows = 0;
    std::vector<uint8_t> low, high;
};

CellLevels cellLevels(const GrayPicture& picture) {
    CellLevels c{picture.width / kTextureCell, picture.height / kTextureCell, {}, {}};
    c.low.resize(static_cast<size_t>(c.cols) * c.rows);
    c.high.resize(c.low.size());
    // Down each column of a row of cells first (a plain loop over whole rows, which the
    // compiler vectorises), then across each cell's four columns.
    const auto w = static_cast<size_t>(picture.width);
    std::vector<uint8_t> low(w), high(w);
    for (int j = 0; j < c.rows; ++j) {
        const uint8_t* top = picture.gray.data() + static_cast<size_t>(j) * kTextureCell * w;
        std::copy_n(top, w, low.begin());
        std::copy_n(top, w, high.begin());
        for (int y = 1; y < kTextureCell; ++y) {
            const uint8_t* row = top + static_cast<size_t>(y) * w;
            for (size_t x = 0; x < w; ++x) {
                low[x] = std::min(low[x], row[x]);
                high[x] = std::max(high[x], row[x]);
            }
        }
        uint8_t* cellLow = c.low.data() + static_cast<size_t>(j) * c.cols;
        uint8_t* cellHigh = c.high.data() + static_cast<size_t>(j) * c.cols;
        for (int i = 0; i < c.cols; ++i) {
            const size_t x = static_cast<size_t>(i) * kTextureCell;
            cellLow[i] = std::min({low[x], low[x + 1], low[x + 2], low[x + 3]});
            cellHigh[i] = std::max({high[x], high[x + 1], high[x + 2], high[x + 3]});
        }
    }
    return c;
}

// Whether the block of 2 x 2 cells from cell (i, j) on is finely textured: levels 40 apart, and
// at least six crossings of the middle level along its rows and six along its columns.
bool finelyTextured(const GrayPicture& picture, const CellLevels& cells, int i, int j) {
    constexpr int kLeastContrast = 40;
    constexpr int kLeastCrossings = 6;
    const size_t c = static_cast<size_t>(j) * cells.cols + i;
    const size_t below = c + static_cast<size_t>(cells.cols);
    const int low =
        std::min({cells.low[c], cells.low[c + 1], cells.low[below], cells.low[below + 1]});
    const int high =
        std::max({cells.high[c], cells.high[c + 1], cells.high[below], cells.high[below + 1]});
    if (high - low < kLeastContrast)
        return false;
    const int middle = (low + high) / 2;
    const uint8_t* first = picture.gray.data() +
                           static_cast<size_t>(j * kTextureCell) * picture.width + i * kTextureCell;
    auto dark = [&](int x, int y) {
        return first[static_cast<size_t>(y) * picture.width + x] < middle;
    };
    int along = 0, across = 0;
    for (int y = 0; y < kTextureBlock; ++y) {
        for (int x = 0; x + 1 < kTextureBlock; ++x) {
            along += dark(x, y) != dark(x + 1, y);
            across += dark(y, x) != dark(y, x + 1);
        }
    }
    return along >= kLeastCrossings && across >= kLeastCrossings;
}

// An area of a frame, [x0, x1) x [y0, y1).
struct Area {
    int x0, y0, x1, y1;
};

// The fewest textured squares of a patch: a symbol of ten modules of two pixels has nine.
constexpr int kLeastSquares = 6;

// The patches of fine texture of a halved picture, in its pixels, plainest surroundings first.
// Blocks are tested every cell (half a block), so a symbol three blocks wide holds whole ones;
// a patch is a connected set of blocks textured together with their right, lower and lower
// right neighbours (a square of four), as the box of its blocks.
std::vector<Area> finelyTexturedPatches(const GrayPicture& half) {
    const CellLevels cells = cellLevels(half);
    const int bx = cells.cols - 1, by = cells.rows - 1;  // block positions
    if (bx < 2 || by < 2)
        return {};
    std::vector<uint8_t> textured(static_cast<size_t>(bx) * by);
    auto at = [&](int i, int j) -> uint8_t& { return textured[static_cast<size_t>(j) * bx + i]; };
    for (int j = 0; j < by; ++j) {
        for (int i = 0; i < bx; ++i)
            at(i, j) = finelyTextured(half, cells, i, j);
    }
    // 2: the top left block of a textured 2 x 2 square.
    for (int j = 0; j + 1 < by; ++j) {
        for (int i = 0; i + 1 < bx; ++i) {
            if (at(i, j) && at(i + 1, j) && at(i, j + 1) && at(i + 1, j + 1))
                at(i, j) = 2;
        }
    }
    struct Patch {
        Area blocks;
        int squares;
        double plainAround;
    };
    std::vector<Patch> patches;
    std::vector<std::pair<int, int>> stack;
    for (int j = 0; j < by; ++j) {
        for (int i = 0; i < bx; ++i) {
            if (at(i, j) != 2)
                continue;
            Patch p{{i, j, i + 1, j + 1}, 0, 0};
            at(i, j) = 3;  // 3: joined to a patch
            stack.assign(1, {i, j});
            while (!stack.empty()) {
                const auto [x, y] = stack.back();
                stack.pop_back();
                ++p.squares;
                p.blocks = {std::min(p.blocks.x0, x), std::min(p.blocks.y0, y),
                            std::max(p.blocks.x1, x + 1), std::max(p.blocks.y1, y + 1)};
                for (int v = std::max(y - 1, 0); v <= std::min(y + 1, by - 1); ++v) {
                    for (int u = std::max(x - 1, 0); u <= std::min(x + 1, bx - 1); ++u) {
                        if (at(u, v) == 2) {
                            at(u, v) = 3;
                            stack.emplace_back(u, v);
                        }
                    }
                }
            }
            patches.push_back(p);
        }
    }
    // The untextured positions within [0, i) x [0, j), for counting them in any box at once.
    const auto stride = static_cast<size_t>(bx) + 1;
    std::vector<int> plainBefore(stride * (static_cast<size_t>(by) + 1), 0);
    for (int j = 0; j < by; ++j) {
        for (int i = 0; i < bx; ++i) {
            plainBefore[(j + 1) * stride + i + 1] = plainBefore[j * stride + i + 1] +
                                                    plainBefore[(j + 1) * stride + i] -
                                                    plainBefore[j * stride + i] + (at(i, j) == 0);
        }
    }
    auto plainIn = [&](const Area& a) {
        return plainBefore[a.y1 * stride + a.x1] - plainBefore[a.y0 * stride + a.x1] -
               plainBefore[a.y1 * stride + a.x0] + plainBefore[a.y0 * stride + a.x0];
    };
    auto count = [](const Area& a) { return (a.x1 - a.x0) * (a.y1 - a.y0); };
    // How plain a patch's surroundings are: the share of untextured block positions in the
    // ring around its box as wide as half its side (at least three positions).
    for (Patch& p : patches) {
        if (p.squares < kLeastSquares)
            continue;
        const Area& b = p.blocks;
        const int reach = std::max(3, std::max(b.x1 - b.x0, b.y1 - b.y0) / 2 + 1);
        const Area ring{std::max(b.x0 - reach, 0), std::max(b.y0 - reach, 0),
                        std::min(b.x1 + reach, bx), std::min(b.y1 + reach, by)};
        // Positions next to the box overlap its pixels, and its squares' last blocks lie one
        // position beyond it: they are left out.
        const Area own{std::max(b.x0 - 1, 0), std::max(b.y0 - 1, 0), std::min(b.x1 + 1, bx),
                       std::min(b.y1 + 1, by)};
        const int all = count(ring) - count(own);
        p.plainAround = all > 0 ? static_cast<double>(plainIn(ring) - plainIn(own)) / all : 0;
    }
    std::stable_sort(patches.begin(), patches.end(),
                     [](const Patch& a, const Patch& b) { return a.plainAround > b.plainAround; });
    std::vector<Area> areas;
    for (const Patch& p : patches) {
        if (p.squares < kLeastSquares)
            continue;
        areas.push_back({p.blocks.x0 * kTextureCell, p.blocks.y0 * kTextureCell,
                         p.blocks.x1 * kTextureCell + kTextureBlock,
                         p.blocks.y1 * kTextureCell + kTextureBlock});
    }
    return areas;
}

// The side of an outline's bounding box, its longer one.
double outlineSide(const SymbolCorners& c) {
    const auto [xLow, xHigh] = std::minmax({c[0].x, c[1].x, c[2].x, c[3].x});
    const auto [yLow, yHigh] = std::minmax({c[0].y, c[1].y, c[2].y, c[3].y});
    return std::max(xHigh - xLow, yHigh - yLow);
}

// The outlines the last frame search located without reading them, likeliest first: those
// whose reading got furthest, and among them the smaller first (the cheaper to read again).
// Detection coordinates (rows bottom-up) are turned to the picture's.
std::vector<LocatedOutline> likeliestOutlines(std::vector<LocatedOutline> located, int height) {
    for (LocatedOutline& o : located) {
        for (PointD& p : o.corners)
            p = {p.x + 0.5, height - 0.5 - p.y};
    }
    std::stable_sort(located.begin(), located.end(), [](const auto& a, const auto& b) {
        return a.progress != b.progress ? a.progress > b.progress
                                        : outlineSide(a.corners) < outlineSide(b.corners);
    });
    return located;
}

// Outlines of a reduced frame read again at full resolution: enough for the symbol among
// clutter that looks like finders, few enough to bound a frame full of it; and the pixels
// their neighbourhoods may take in all (an outline as large as the whole label would take
// most of the frame). Patches of fine texture read at full resolution, as many again and as
// many pixels again.
constexpr size_t kMostFineReads = 2;
constexpr size_t kMostTextureReads = 2;
constexpr int64_t kMostFinePixels = int64_t{1280} * 720;

// Frames up to this many pixels run the finder pass at full resolution before the frame search
// on the halved frame; larger ones only after it, when it located outlines.
constexpr int64_t kFullFinderFirstPixels = int64_t{1920} * 1080;

// The areas of a large frame read again at full resolution, in the order they are read: an area
// is left out when one taken already holds the centre it is read for, or when it would pass the
// pixels allowed. Which areas are taken does not depend on what the reads before them gave, so
// the plan can be made before reading (threads read the areas side by side).
class FineAreas {
  public:
    FineAreas(int width, int height) : width_(width), height_(height) {}

    // The area around what the halved frame showed at (cx, cy), clamped to the frame; nothing
    // when it is left out.
    std::optional<Area> take(Area a, double cx, double cy) {
        auto clampTo = [](double v, int high) {
            return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(high)));
        };
        a = {clampTo(a.x0, width_), clampTo(a.y0, height_), clampTo(a.x1, width_),
             clampTo(a.y1, height_)};
        if (std::any_of(taken_.begin(), taken_.end(), [&](const Area& s) {
                return cx >= s.x0 && cx < s.x1 && cy >= s.y0 && cy < s.y1;
            }))
            return std::nullopt;
        const int64_t pixels = int64_t{a.x1 - a.x0} * (a.y1 - a.y0);
        if (a.x1 - a.x0 < kMinImageSide || a.y1 - a.y0 < kMinImageSide ||
            pixels_ + pixels > kMostFinePixels)
            return std::nullopt;
        pixels_ += pixels;
        taken_.push_back(a);
        return a;
    }

    // The pixels allowed start again (the texture patches have pixels of their own).
    void renewPixels() { pixels_ = 0; }

  private:
    int width_, height_;
    std::vector<Area> taken_;
    int64_t pixels_ = 0;
};

// An area read again for an outline of the halved frame (corners in its picture coordinates)
// and the centre it is read for, in frame pixels: the rest of the symbol lies within the
// outline's size of it (the outline may be a part).
struct FineRead {
    Area area;
    double cx, cy;
};

FineRead outlineRead(const LocatedOutline& outline) {
    const auto& c = outline.corners;
    const auto [xLow, xHigh] = std::minmax({c[0].x, c[1].x, c[2].x, c[3].x});
    const auto [yLow, yHigh] = std::minmax({c[0].y, c[1].y, c[2].y, c[3].y});
    const double reach = std::max(xHigh - xLow, yHigh - yLow) + 8;
    auto toFramePixels = [](double v) { return static_cast<int>(std::clamp(2 * v, -1.0, 1e9)); };
    return {{toFramePixels(xLow - reach), toFramePixels(yLow - reach), toFramePixels(xHigh + reach),
             toFramePixels(yHigh + reach)},
            xLow + xHigh,
            yLow + yHigh};
}

// An area read again for a patch of fine texture of the halved frame, with a margin of two
// blocks.
FineRead patchRead(const Area& p) {
    constexpr int kMargin = 2 * kTextureBlock;
    return {
        {2 * (p.x0 - kMargin), 2 * (p.y0 - kMargin), 2 * (p.x1 + kMargin), 2 * (p.y1 + kMargin)},
        static_cast<double>(p.x0 + p.x1),
        static_cast<double>(p.y0 + p.y1)};
}

// The frame search at full resolution on an area of the frame; corners in the frame's picture
// coordinates.
DecodeResult readArea(Reading& reading, const ImageView& frame, const Area& a) {
    const GrayPicture part = grayRegion(frame, a.x0, a.y0, a.x1, a.y1);
    DecodeResult fine =
        reading.frameSearch({part.gray, part.width, part.height}, SearchDepth::Camera);
    if (fine.corners) {
        for (ImagePoint& p : *fine.corners)
            p = {p.x + a.x0, p.y + a.y0};
    }
    return fine;
}

// Corners of a reading of the halved frame in the frame's coordinates.
DecodeResult doubled(DecodeResult result) {
    if (result.corners) {
        for (ImagePoint& p : *result.corners)
            p = 2.0 * p;
    }
    return result;
}

// A large camera frame: the frame halved once; the finder pass on the halved frame; up to full
// HD, where the halved frame shows contrast, the finder pass at full resolution; the frame
// search on the halved frame (it reads symbols of modules of 6 pixels and more); where it
// located outlines that did not read, the frame search again on the neighbourhoods of the
// likeliest two at full resolution; then the same on the two patches of fine texture of the
// halved frame likeliest to be symbols (see finelyTexturedPatches); last, beyond full HD and when
// the frame holds such outlines at all, the finder pass at full resolution, for small modules that
// the halved frame blurs into clutter (its scan lines across a 4K frame take longer than the rest
// when they find nothing). A plain frame without outlines is left after the search. With more
// threads than one, see readLargeCameraFrameThreaded.
DecodeResult readLargeCameraFrame(ReadingBuffers& buffers, const ImageView& frame,
                                  uint32_t variant) {
    Reading& reading = buffers.reading;
    GrayPicture& half = buffers.half;
    halvedGray(frame, 1, half);
    const ImageView halfView{half.gray, half.width, half.height};
    DecodeResult first = doubled(reading.finderPass(halfView, variant));
    if (first.decoded || first.status == DecodeStatus::MissingInput)
        return first;
    // Up to full HD the finder pass at full resolution is quick and reads a symbol near the
    // centre that the halved frame's modules are too fine for, but it is left out where the
    // halved frame shows no contrast (it would only test the noise).
    const bool fullFinderFirst = int64_t{frame.width} * frame.height <= kFullFinderFirstPixels;
    if (fullFinderFirst && showsContrast(half)) {
        DecodeResult full = reading.finderPass(frame, variant);
        if (full.decoded)
            return full;
    }
    DecodeResult coarse = doubled(reading.frameSearch(halfView, SearchDepth::Camera));
    if (coarse.decoded)
        return coarse;
    DecodeResult best = furtherOf(std::move(first), std::move(coarse));
    const std::vector<LocatedOutline> outlines = likeliestOutlines(reading.located(), half.height);
    FineAreas areas(frame.width, frame.height);
    size_t outlineReads = 0;
    for (const LocatedOutline& outline : outlines) {
        if (outlineReads >= kMostFineReads)
            break;
        const FineRead r = outlineRead(outline);
        const std::optional<Area> a = areas.take(r.area, r.cx, r.cy);
        if (!a)
            continue;
        DecodeResult fine = readArea(reading, frame, *a);
        if (fine.decoded)
            return fine;
        // On failure the likeliest outline's neighbourhood speaks, as it did alone before.
        if (++outlineReads == 1)
            best = furtherOf(std::move(best), std::move(fine));
    }
    // Patches of fine texture, plainest surroundings first: symbols whose modules the halved
    // frame blurs (among clutter they locate no outline of their own).
    areas.renewPixels();
    size_t textureReads = 0;
    for (const Area& p : finelyTexturedPatches(half)) {
        if (textureReads >= kMostTextureReads)
            break;
        const FineRead r = patchRead(p);
        const std::optional<Area> a = areas.take(r.area, r.cx, r.cy);
        if (!a)
            continue;
        ++textureReads;
        DecodeResult fine = readArea(reading, frame, *a);
        if (fine.decoded)
            return fine;
    }
    if (fullFinderFirst || outlines.empty())
        return best;
    DecodeResult full = reading.finderPass(frame, variant);
    return full.decoded ? full : best;
}

// A reading of a task run by readInOrder, and the outlines a frame search located without
// reading them (detection coordinates of the picture the task was given).
struct TaskRead {
    DecodeResult result;
    std::vector<LocatedOutline> located;
};

// Runs tasks 0 to count - 1 (read(reading, i) gives task i's result), each thread with a reader
// of its own, by up to threads threads, the caller's among them. Threads take the tasks in order;
// a task not begun once an earlier one decoded is left out (its result stays empty), so the
// first task in order that decodes is the same whatever the count. A thread that cannot be
// started leaves its share to the others.
template <typename Read>
std::vector<std::optional<TaskRead>> readInOrder(size_t count, int32_t threads, Read read) {
    std::vector<std::optional<TaskRead>> results(count);
    if (count == 0)
        return results;
    std::atomic<size_t> next{0};
    std::atomic<size_t> decodedAt{count};  // the first task known to have decoded
    auto work = [&] {
        Reading reading;
        for (size_t i = next++; i < count && i < decodedAt; i = next++) {
            try {
                results[i] = read(reading, i);
            } catch (const std::bad_alloc&) {
                results[i] = TaskRead{};
                results[i]->result.status = DecodeStatus::OutOfMemory;
            }
            if (results[i]->result.decoded) {
                size_t known = decodedAt;
                while (i < known && !decodedAt.compare_exchange_weak(known, i)) {
                }
            }
        }
    };
    std::vector<std::thread> helpers;
    const auto most = static_cast<size_t>(std::clamp(threads, 1, kMostThreads));
    for (size_t t = 1; t < std::min(most, count); ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : helpers)
        t.join();
    return results;
}

// The first result in order that decoded, if any.
std::optional<DecodeResult> firstDecoded(std::vector<std::optional<TaskRead>>& results) {
    for (std::optional<TaskRead>& r : results) {
        if (r && r->result.decoded)
            return std::move(r->result);
    }
    return std::nullopt;
}

// The threads' search of a halved frame is split into tiles overlapping by this many pixels:
// a symbol of 144 modules (the longest side of any size) of 3 pixels, the finest the frame
// search locates, lies whole in one of them with the 24 pixels either side that its tile
// thresholds are taken over. A multiple of the threshold tile, so that tiles start on the
// frame's threshold grid.
constexpr int kTileOverlap = 480;
static_assert(kTileOverlap % kThresholdTile == 0, "tiles start on the threshold grid");

// The tiles of a picture of the given size, left to right and then top to bottom, as many along
// each side as add at most a quarter to the pixels searched (overlaps included). They depend on
// the picture alone, never on the thread count, so that every count reads the same.
std::vector<Area> searchTiles(int width, int height) {
    auto split = [](int side) {
        const int count = 1 + side / (4 * kTileOverlap);
        std::vector<std::pair<int, int>> spans;
        for (int i = 0; i < count; ++i) {
            // Tile i's own part ends at side * (i + 1) / count; each starts on the threshold
            // grid and reaches an overlap beyond the part before it.
            const int own = static_cast<int>(int64_t{side} * i / count);
            const int begin =
                i == 0 ? 0
                       : std::max(0, (own - kTileOverlap / 2) / kThresholdTile * kThresholdTile);
            const int end = i + 1 == count
                                ? side
                                : std::min(side, static_cast<int>(int64_t{side} * (i + 1) / count) +
                                                     kTileOverlap / 2);
            spans.emplace_back(begin, end);
        }
        return spans;
    };
    std::vector<Area> tiles;
    for (const auto& [y0, y1] : split(height)) {
        for (const auto& [x0, x1] : split(width))
            tiles.push_back({x0, y0, x1, y1});
    }
    return tiles;
}

// A large camera frame read by several threads: the steps readLargeCameraFrame takes one after
// the other run side by side, and its whole-frame search on the halved frame is split into
// tiles (see searchTiles), each searched on its own. The first reading in readLargeCameraFrame's
// order that decodes wins, tiles in their order; on failure the steps speak as they do there,
// the tile that got furthest for the search and the outlines all tiles located for the reads at
// full resolution. The tiles are the same for every thread count, and so is the result; it
// differs from one thread's only where the tiles read differently from the whole halved frame
// (each tile has the search's bounds on work of its own).
DecodeResult readLargeCameraFrameThreaded(const ImageView& frame, uint32_t variant,
                                          int32_t threads) {
    GrayPicture half;
    halvedGray(frame, threads, half);
    const ImageView halfView{half.gray, half.width, half.height};
    const bool fullFinderFirst = int64_t{frame.width} * frame.height <= kFullFinderFirstPixels;
    const bool fullFinder = fullFinderFirst && showsContrast(half);
    const std::vector<Area> tiles = searchTiles(half.width, half.height);
    // The tasks: the finder pass on the halved frame, at full resolution where it runs first,
    // each tile's search, and the patches of fine texture for the reads after.
    const size_t tileBegin = fullFinder ? 2 : 1;
    const size_t patchesAt = tileBegin + tiles.size();
    std::vector<Area> patches;
    std::vector<std::optional<TaskRead>> steps =
        readInOrder(patchesAt + 1, threads, [&](Reading& reading, size_t i) -> TaskRead {
            if (i == 0)
                return {doubled(reading.finderPass(halfView, variant)), {}};
            if (i < tileBegin)
                return {reading.finderPass(frame, variant), {}};
            if (i == patchesAt) {
                patches = finelyTexturedPatches(half);
                return {};
            }
            const Area& t = tiles[i - tileBegin];
            const auto offset = static_cast<size_t>(t.y0) * half.width + t.x0;
            const auto size = static_cast<size_t>(t.y1 - t.y0 - 1) * half.width + (t.x1 - t.x0);
            const ImageView tile{std::span(half.gray).subspan(offset, size), t.x1 - t.x0,
                                 t.y1 - t.y0, PixelFormat::Gray, half.width};
            TaskRead read{reading.frameSearch(tile, SearchDepth::Camera), reading.located()};
            if (read.result.corners) {
                for (ImagePoint& p : *read.result.corners)
                    p = 2.0 * ImagePoint{p.x + t.x0, p.y + t.y0};
            }
            // Located outlines in the halved frame's detection coordinates (rows bottom-up).
            for (LocatedOutline& o : read.located) {
                for (PointD& p : o.corners)
                    p = {p.x + t.x0, p.y + (half.height - t.y1)};
            }
            return read;
        });
    DecodeResult first = std::move(steps[0]->result);
    if (first.decoded || first.status == DecodeStatus::MissingInput)
        return first;
    if (std::optional<DecodeResult> read = firstDecoded(steps))
        return std::move(*read);
    // Nothing decoded, so every task ran.
    DecodeResult coarse = steps[tileBegin]->result;
    std::vector<LocatedOutline> located;
    for (size_t i = tileBegin; i < patchesAt; ++i) {
        if (decodeProgress(steps[i]->result.status) > decodeProgress(coarse.status))
            coarse = steps[i]->result;
        located.insert(located.end(), steps[i]->located.begin(), steps[i]->located.end());
    }
    DecodeResult best = furtherOf(std::move(first), std::move(coarse));
    const std::vector<LocatedOutline> outlines = likeliestOutlines(std::move(located), half.height);
    // The reads at full resolution planned as readLargeCameraFrame makes them, then read side by
    // side, with the finder pass at full resolution that follows them beyond full HD.
    FineAreas areas(frame.width, frame.height);
    std::vector<Area> reads;
    for (const LocatedOutline& outline : outlines) {
        if (reads.size() >= kMostFineReads)
            break;
        const FineRead r = outlineRead(outline);
        if (const std::optional<Area> a = areas.take(r.area, r.cx, r.cy))
            reads.push_back(*a);
    }
    const size_t outlineReads = reads.size();
    areas.renewPixels();
    for (const Area& p : patches) {
        if (reads.size() - outlineReads >= kMostTextureReads)
            break;
        const FineRead r = patchRead(p);
        if (const std::optional<Area> a = areas.take(r.area, r.cx, r.cy))
            reads.push_back(*a);
    }
    const bool fullFinderLast = !fullFinderFirst && !outlines.empty();
    std::vector<std::optional<TaskRead>> fine =
        readInOrder(reads.size() + (fullFinderLast ? 1 : 0), threads,
                    [&](Reading& reading, size_t i) -> TaskRead {
                        if (i < reads.size())
                            return {readArea(reading, frame, reads[i]), {}};
                        return {reading.finderPass(frame, variant), {}};
                    });
    if (std::optional<DecodeResult> read = firstDecoded(fine))
        return std::move(*read);
    // On failure the likeliest outline's neighbourhood speaks, as it does with one thread.
    if (outlineReads > 0)
        best = furtherOf(std::move(best), std::move(fine[0]->result));
    return best;
}

}  // namespace

DecodeResult readCameraFrame(const ImageView& frame, uint32_t variant, int32_t threads,
                             FrameBuffers* buffers) {
    if (frame.width < kMinImageSide || frame.height < kMinImageSide)
        return {};
    DecodeResult result = guarded([&] {
        const bool large = int64_t{frame.width} * frame.height > kLargeFramePixels;
        if (large && threads > 1 && frame.isComplete())
            return readLargeCameraFrameThreaded(frame, variant, threads);
        std::unique_ptr<ReadingBuffers> fresh;
        ReadingBuffers& b =
            buffers ? buffers->reading() : *(fresh = std::make_unique<ReadingBuffers>());
        if (large && frame.isComplete())
            return readLargeCameraFrame(b, frame, variant);
        Reading& reading = b.reading;
        DecodeResult first = reading.finderPass(frame, variant);
        if (first.decoded || first.status == DecodeStatus::MissingInput)
            return first;
        return searchThenMirror(reading, frame, std::move(first), variant, SearchDepth::Camera);
    });
    // Buffers a read ran out of memory in are dropped: the next frame starts afresh.
    if (buffers && result.status == DecodeStatus::OutOfMemory)
        buffers->release();
    return result;
}

DecodeResult readStillImage(const ImageView& image) {
    return guarded([&] {
        Reading reading;
        return readPicture(reading, image);
    });
}

namespace {

// The attempts from index begin on, read in order as readInOrder reads its tasks; the result of
// the first attempt in plan order that decoded, or nothing. first receives the result of attempt
// begin when it failed (it is the one reported on failure).
std::optional<DecodeResult> readAttempts(const GrayView& gray, const std::vector<Attempt>& plan,
                                         size_t begin, int32_t threads, DecodeResult& first) {
    const size_t count = plan.size() > begin ? plan.size() - begin : 0;
    std::vector<std::optional<TaskRead>> results =
        readInOrder(count, threads, [&](Reading& reading, size_t i) -> TaskRead {
            const size_t k = begin + i;
            return {readAttempt(reading, gray, plan[k],
                                k == 0 ? SearchDepth::Still : SearchDepth::Enlarged),
                    {}};
        });
    if (std::optional<DecodeResult> read = firstDecoded(results))
        return read;
    if (count > 0 && results.front())
        first = std::move(results.front()->result);
    return std::nullopt;
}

}  // namespace

DecodeResult readImageFile(const ImageView& image, int32_t threads) {
    const int shortSide = std::min(image.width, image.height);
    const int longSide = std::max(image.width, image.height);
    if (shortSide < kSmallestSymbolRows || longSide < kSmallestSymbolCols || !image.isComplete())
        return {};
    return guarded([&] {
        // An image a camera could have taken is read as it is first; a failure is reported as
        // the first picture saw it.
        const bool cameraSized = shortSide >= kEnlargedShortSide;
        DecodeResult first;
        if (cameraSized) {
            Reading reading;
            first = readPicture(reading, image);
            if (first.decoded || first.status == DecodeStatus::MissingInput)
                return first;
        }
        std::vector<uint8_t> copy;
        const GrayView gray = grayViewOf(image, copy);
        std::string why;
        const std::vector<Attempt> plan = planAttempts(gray, why);
        // A camera-sized image's plan starts with the image as it is, read above; a small
        // image's first picture is read as a still image, the larger ones after as enlargements.
        DecodeResult firstAttempt;
        std::optional<DecodeResult> read =
            readAttempts(gray, plan, cameraSized ? 1 : 0, threads, firstAttempt);
        if (read)
            return std::move(*read);
        return cameraSized ? first : firstAttempt;
    });
}

namespace {

// The centre of a symbol's corners.
ImagePoint centreOf(const SymbolCorners& c) {
    return {(c[0].x + c[1].x + c[2].x + c[3].x) / 4, (c[0].y + c[1].y + c[2].y + c[3].y) / 4};
}

// Whether p lies within the quadrilateral, whichever way round its corners run.
bool within(const SymbolCorners& c, ImagePoint p) {
    int sides = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const double turn = cross(c[(i + 1) % c.size()] - c[i], p - c[i]);
        sides += turn > 0 ? 1 : turn < 0 ? -1 : 0;
    }
    return std::abs(sides) == 4;
}

// Whether two symbols' outlines are one symbol's: either centre lies within the other.
bool overlap(const SymbolCorners& a, const SymbolCorners& b) {
    return within(a, centreOf(b)) || within(b, centreOf(a));
}

// The symbols in reading order: rows top to bottom, a symbol joining a row while its centre lies
// within half the height of the row's first symbol; each row left to right.
void sortForReading(std::vector<DecodeResult>& symbols) {
    auto height = [](const SymbolCorners& c) {
        const auto [low, high] = std::minmax({c[0].y, c[1].y, c[2].y, c[3].y});
        return high - low;
    };
    std::stable_sort(symbols.begin(), symbols.end(), [](const auto& a, const auto& b) {
        return centreOf(*a.corners).y < centreOf(*b.corners).y;
    });
    for (auto row = symbols.begin(); row != symbols.end();) {
        const double first = centreOf(*row->corners).y;
        const double reach = height(*row->corners) / 2;
        auto end = std::find_if(row, symbols.end(), [&](const DecodeResult& s) {
            return centreOf(*s.corners).y - first > reach;
        });
        std::stable_sort(row, end, [](const auto& a, const auto& b) {
            return centreOf(*a.corners).x < centreOf(*b.corners).x;
        });
        row = end;
    }
}

// Covers each symbol (grown by a module) with the light level around it, the median of the
// pixels a module and a half outside its outline: what is left of the picture shows the
// symbols not read yet. The gray picture is top-down; corners in picture coordinates.
void coverSymbols(GrayPicture& picture, std::span<const DecodeResult> symbols) {
    for (const DecodeResult& s : symbols) {
        const SymbolCorners& c = *s.corners;
        const double module =
            std::max(1.0, (length(c[1] - c[0]) + length(c[2] - c[3])) / 2 / s.symbolCols);
        const ImagePoint centre = centreOf(c);
        auto grown = [&](double by) {
            SymbolCorners g;
            for (size_t i = 0; i < c.size(); ++i) {
                const ImagePoint d = c[i] - centre;
                g[i] = c[i] + (by / std::max(length(d), 1e-9)) * d;
            }
            return g;
        };
        const SymbolCorners cover = grown(module);
        const SymbolCorners ring = grown(1.5 * module);
        std::vector<uint8_t> around;
        auto at = [&](ImagePoint p) -> const uint8_t* {
            const auto x = static_cast<int64_t>(std::floor(p.x));
            const auto y = static_cast<int64_t>(std::floor(p.y));
            if (x < 0 || y < 0 || x >= picture.width || y >= picture.height)
                return nullptr;
            return &picture.gray[static_cast<size_t>(y * picture.width + x)];
        };
        for (size_t i = 0; i < ring.size(); ++i) {
            const ImagePoint a = ring[i], b = ring[(i + 1) % ring.size()];
            const int steps = std::max(1, static_cast<int>(length(b - a)));
            for (int k = 0; k < steps; ++k) {
                if (const uint8_t* p = at(a + (static_cast<double>(k) / steps) * (b - a)))
                    around.push_back(*p);
            }
        }
        if (around.empty())
            continue;
        auto middle = around.begin() + static_cast<ptrdiff_t>(around.size() / 2);
        std::nth_element(around.begin(), middle, around.end());
        const auto [xLow, xHigh] = std::minmax({cover[0].x, cover[1].x, cover[2].x, cover[3].x});
        const auto [yLow, yHigh] = std::minmax({cover[0].y, cover[1].y, cover[2].y, cover[3].y});
        const int x0 = std::max(0, static_cast<int>(xLow));
        const int x1 = std::min(picture.width - 1, static_cast<int>(xHigh) + 1);
        const int y0 = std::max(0, static_cast<int>(yLow));
        const int y1 = std::min(picture.height - 1, static_cast<int>(yHigh) + 1);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                if (within(cover, {x + 0.5, y + 0.5}))
                    picture.gray[static_cast<size_t>(y) * picture.width + x] = *middle;
            }
        }
    }
}

// Adds the symbol unless it overlaps one already there; whether it was added.
bool addNew(std::vector<DecodeResult>& symbols, DecodeResult symbol) {
    const bool seen = std::any_of(symbols.begin(), symbols.end(), [&](const auto& s) {
        return overlap(*s.corners, *symbol.corners);
    });
    if (!seen)
        symbols.push_back(std::move(symbol));
    return !seen;
}

}  // namespace

ImageSymbols readAllSymbols(const ImageView& image, const DecodeOptions& options,
                            int32_t mostSymbols) {
    ImageSymbols all;
    DecodeResult first = decodeImage(image, options);
    if (!first.decoded) {
        all.failure = std::move(first);
        return all;
    }
    all.symbols.push_back(std::move(first));
    if (mostSymbols <= 1 || !all.symbols.front().corners || !image.isComplete())
        return all;
    // The rest: outlines read as the frame search reads them, in the first symbol's polarity
    // (the symbols of one picture are printed alike; searching the other one too would double
    // the time).
    const FrameSearchReadings readings{
        .alsoMirrored = true, .alsoInverted = all.symbols.front().inverted, .damagedFinders = 2};
    const SymbolCorners known[] = {*all.symbols.front().corners};
    std::vector<DecodeResult> rest;
    try {
        Decoder decoder;
        rest = decoder.collectView(image, readings, known, mostSymbols - 1);
    } catch (const std::bad_alloc&) {
        // The symbol read stands; the rest are not reported.
    }
    for (DecodeResult& symbol : rest)
        addNew(all.symbols, std::move(symbol));
    // Then the finder pass on what is left once the symbols read are covered: it reads small
    // and blurred symbols the frame search can miss, and fails fast once none is left.
    try {
        GrayPicture left = grayRegion(image, 0, 0, image.width, image.height);
        Reading reading;
        const uint32_t variants = options.thresholdVariant ? 1 : kThresholdVariantCount;
        size_t covered = 0;  // the symbols covered so far, each once
        for (bool more = true; more && static_cast<int32_t>(all.symbols.size()) < mostSymbols;) {
            coverSymbols(left, std::span(all.symbols).subspan(covered));
            covered = all.symbols.size();
            more = false;
            for (uint32_t v = 0; v < variants && !more; ++v) {
                DecodeResult r =
                    reading.finderPass({left.gray, left.width, left.height},
                                       options.thresholdVariant ? *options.thresholdVariant : v);
                more = r.decoded && r.corners && addNew(all.symbols, std::move(r));
            }
        }
    } catch (const std::bad_alloc&) {
        // The symbols read stand.
    }
    sortForReading(all.symbols);
    return all;
}

}  // namespace dm
