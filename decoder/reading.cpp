#include "decoder/reading.h"

#include <algorithm>
#include <atomic>
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

// The view in gray at half its width and height, rows top-down: each pixel the gray of the
// mean colour of four (the mean gray of four for gray pixels).
GrayPicture halvedGray(const ImageView& view) {
    GrayPicture half{view.width / 2, view.height / 2, {}};
    half.gray.resize(static_cast<size_t>(half.width) * half.height);
    halveRows(view, half, 0, half.height);
    return half;
}

// The most threads one frame is read with.
constexpr int32_t kMostThreads = 64;

// The view halved as halvedGray halves it, in bands of rows by the given number of threads,
// the caller's among them. A thread that cannot be started leaves its band to the caller's.
GrayPicture halvedGray(const ImageView& view, int32_t threads) {
    if (threads <= 1)
        return halvedGray(view);
    GrayPicture half{view.width / 2, view.height / 2, {}};
    half.gray.resize(static_cast<size_t>(half.width) * half.height);
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
    return half;
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
// most of the frame).
constexpr size_t kMostFineReads = 2;
constexpr int64_t kMostFinePixels = int64_t{1280} * 720;

// Frames up to this many pixels run the finder pass at full resolution before the frame search
// on the halved frame; larger ones only after it, when it located outlines.
constexpr int64_t kFullFinderFirstPixels = int64_t{1920} * 1080;

// A large camera frame: the frame halved once; the finder pass on the halved frame; up to full
// HD, where the halved frame shows contrast, the finder pass at full resolution; the frame
// search on the halved frame (it reads symbols of modules of 6 pixels and more); where it
// located outlines that did not read, the frame search again on the neighbourhoods of the
// likeliest two at full resolution; last, beyond full HD and when the frame holds such outlines
// at all, the finder pass at full resolution, for small modules that the halved frame blurs into
// clutter (its scan lines across a 4K frame take longer than the rest when they find nothing).
// A plain frame without outlines is left after the search. With more threads than one, they
// halve the frame in bands.
DecodeResult readLargeCameraFrame(Reading& reading, const ImageView& frame, uint32_t variant,
                                  int32_t threads) {
    const GrayPicture half = halvedGray(frame, threads);
    const ImageView halfView{half.gray, half.width, half.height};
    auto toFrame = [](DecodeResult result) {
        if (result.corners) {
            for (ImagePoint& p : *result.corners)
                p = 2.0 * p;
        }
        return result;
    };
    DecodeResult first = toFrame(reading.finderPass(halfView, variant));
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
    DecodeResult coarse = toFrame(reading.frameSearch(halfView, SearchDepth::Camera));
    if (coarse.decoded)
        return coarse;
    DecodeResult best = furtherOf(std::move(first), std::move(coarse));
    const std::vector<LocatedOutline> outlines = likeliestOutlines(reading.located(), half.height);
    if (outlines.empty())
        return best;
    auto clampTo = [](double v, int high) {
        return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(high)));
    };
    struct Area {
        int x0, y0, x1, y1;
    };
    std::vector<Area> searched;
    int64_t finePixels = 0;
    for (const LocatedOutline& outline : outlines) {
        if (searched.size() >= kMostFineReads)
            break;
        const auto& c = outline.corners;
        const auto [xLow, xHigh] = std::minmax({c[0].x, c[1].x, c[2].x, c[3].x});
        const auto [yLow, yHigh] = std::minmax({c[0].y, c[1].y, c[2].y, c[3].y});
        // An outline whose centre lies in a neighbourhood searched already was searched with it.
        const double cx = xLow + xHigh, cy = yLow + yHigh;  // the centre, in frame pixels
        if (std::any_of(searched.begin(), searched.end(), [&](const Area& a) {
                return cx >= a.x0 && cx < a.x1 && cy >= a.y0 && cy < a.y1;
            }))
            continue;
        // The rest of the symbol lies within the outline's size of it (it may be a part).
        const double reach = std::max(xHigh - xLow, yHigh - yLow) + 8;
        const Area a{
            clampTo(2 * (xLow - reach), frame.width), clampTo(2 * (yLow - reach), frame.height),
            clampTo(2 * (xHigh + reach), frame.width), clampTo(2 * (yHigh + reach), frame.height)};
        const int64_t pixels = int64_t{a.x1 - a.x0} * (a.y1 - a.y0);
        if (a.x1 - a.x0 < kMinImageSide || a.y1 - a.y0 < kMinImageSide ||
            finePixels + pixels > kMostFinePixels)
            continue;
        finePixels += pixels;
        searched.push_back(a);
        const GrayPicture part = grayRegion(frame, a.x0, a.y0, a.x1, a.y1);
        DecodeResult fine =
            reading.frameSearch({part.gray, part.width, part.height}, SearchDepth::Camera);
        if (fine.corners) {
            for (ImagePoint& p : *fine.corners)
                p = {p.x + a.x0, p.y + a.y0};
        }
        if (fine.decoded)
            return fine;
        // On failure the likeliest outline's neighbourhood speaks, as it did alone before.
        if (searched.size() == 1)
            best = furtherOf(std::move(best), std::move(fine));
    }
    if (fullFinderFirst)
        return best;
    DecodeResult full = reading.finderPass(frame, variant);
    return full.decoded ? full : best;
}

}  // namespace

DecodeResult readCameraFrame(const ImageView& frame, uint32_t variant, int32_t threads) {
    if (frame.width < kMinImageSide || frame.height < kMinImageSide)
        return {};
    return guarded([&] {
        Reading reading;
        if (int64_t{frame.width} * frame.height > kLargeFramePixels && frame.isComplete())
            return readLargeCameraFrame(reading, frame, variant, threads);
        DecodeResult result = reading.finderPass(frame, variant);
        if (result.decoded || result.status == DecodeStatus::MissingInput)
            return result;
        return searchThenMirror(reading, frame, std::move(result), variant, SearchDepth::Camera);
    });
}

DecodeResult readStillImage(const ImageView& image) {
    return guarded([&] {
        Reading reading;
        return readPicture(reading, image);
    });
}

namespace {

// The attempts from index begin on, each with a reader of its own, by up to threads threads
// (the caller's among them); the result of the first attempt in plan order that decoded, or
// nothing. Attempts after one that decoded are left out. first receives the result of attempt
// begin when it failed (it is the one reported on failure). A thread that cannot be started
// leaves its share to the others.
std::optional<DecodeResult> readAttempts(const GrayView& gray, const std::vector<Attempt>& plan,
                                         size_t begin, int32_t threads, DecodeResult& first) {
    const size_t count = plan.size() > begin ? plan.size() - begin : 0;
    std::vector<std::optional<DecodeResult>> results(count);
    std::atomic<size_t> next{0};
    std::atomic<size_t> decodedAt{count};  // the first attempt known to have decoded
    auto work = [&] {
        Reading reading;
        for (size_t i = next++; i < count && i < decodedAt; i = next++) {
            const size_t k = begin + i;
            results[i] = guarded([&] {
                return readAttempt(reading, gray, plan[k],
                                   k == 0 ? SearchDepth::Still : SearchDepth::Enlarged);
            });
            if (results[i]->decoded) {
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
    for (std::optional<DecodeResult>& r : results) {
        if (r && r->decoded)
            return std::move(*r);
    }
    if (count > 0 && results.front())
        first = std::move(*results.front());
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
