#include "decoder/reading.h"

#include <algorithm>
#include <new>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/picture_attempts.h"

namespace dm {
namespace {

// The reading order. Measured on the synthesised camera tiers (640 x 480, 300 frames each;
// clean, camera, hard):
// 1. The finder pass under a frame-wide threshold: reads 88 / 77 / 20 % of the frames, the
//    symbols it reads in about a quarter of the time the frame search takes for them (0.4
//    against 1.9 ms on clean frames). Fails fast where there is no symbol.
// 2. The frame search under tile thresholds: reads every frame the finder pass reads and the
//    rest up to 100 / 100 / 90 % (symbols off centre, in perspective, on uneven light,
//    stretched unevenly). It reads each outline mirrored too, a few outlines as damaged finders
//    (modules of the solid arms missing), and the frame's negative (light symbols on a dark
//    ground). On a still image it reads every outline as a damaged finder too, and then the dark
//    map closed at the scale of the dots it met (dot-peen marks, ink loss) and with its regions
//    joined (symbols a scratch cut apart): too slow for a camera frame full of small shapes.
// 3. The finder pass on the mirror image: symbols seen in a mirror that the frame search did
//    not locate.
// A still image runs the finder pass under all three variants before the frame search; an image
// file then larger pictures of itself (see picture_attempts.h): the sample folder's small,
// cropped and one-pixel-module files read only that way. On failure the result is the finder pass's
// first, unless it measured no symbol where the frame search located one.
class Reading {
  public:
    DecodeResult finderPass(const ImageView& view, uint32_t variant) {
        decoder_.state.cache.frameCounter = variant;
        return decoder_.decodeView(view);
    }

    // A still image also has the dark map closed for symbols of separate dots, and reads every
    // outline as a damaged finder too; a camera frame has no time for that on frames full of
    // small shapes, and reads a few.
    DecodeResult frameSearch(const ImageView& view, bool still) {
        constexpr int32_t kCameraDamagedFinders = 4;
        return decoder_.searchView(view,
                                   {.alsoMirrored = true,
                                    .alsoInverted = true,
                                    .alsoClosed = still,
                                    .alsoJoined = true,
                                    .damagedFinders = still ? INT32_MAX : kCameraDamagedFinders});
    }

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
                              uint32_t mirrorVariant, bool still) {
    DecodeResult searched = reading.frameSearch(view, still);
    if (searched.decoded)
        return searched;
    first = furtherOf(std::move(first), std::move(searched));
    DecodeResult mirrored = reading.mirroredFinderPass(view, mirrorVariant);
    return mirrored.decoded ? mirrored : first;
}

// One picture of a still image: the finder pass under each variant, the frame search, the
// finder pass on the mirror image with the variant that got furthest.
DecodeResult readPicture(Reading& reading, const ImageView& view) {
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
    return searchThenMirror(reading, view, std::move(first), furthest, /*still=*/true);
}

// The view's pixels as gray levels, rows top-down: the pixels themselves when they are stored
// so already (image files come as such), else converted into copy.
GrayView grayViewOf(const ImageView& view, std::vector<uint8_t>& copy) {
    const int64_t bytes = bytesPerPixel(view.format);
    const int64_t stride = view.strideBytes();
    if (bytes == 1 && stride == view.width && view.rowOrder == RowOrder::TopDown)
        return {view.width, view.height, view.pixels};
    copy.resize(static_cast<size_t>(view.width) * view.height);
    for (int y = 0; y < view.height; ++y) {
        const int stored = view.rowOrder == RowOrder::TopDown ? y : view.height - 1 - y;
        const uint8_t* in = view.pixels.data() + stored * stride;
        uint8_t* row = copy.data() + static_cast<size_t>(y) * view.width;
        for (int x = 0; x < view.width; ++x)
            row[x] = bytes == 1 ? in[x] : grayOfBgr(in + x * bytes);
    }
    return {view.width, view.height, copy};
}

// One attempt of the plan; the corners come back in the image's own coordinates.
DecodeResult readAttempt(Reading& reading, const GrayView& image, const Attempt& attempt) {
    if (!attempt.framed)
        return readPicture(reading, {image.gray, image.width, image.height});
    const GrayPicture picture = framedPicture(image, attempt);
    DecodeResult result = readPicture(reading, {picture.gray, picture.width, picture.height});
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

}  // namespace

DecodeResult readCameraFrame(const ImageView& frame, uint32_t variant) {
    if (frame.width < kMinImageSide || frame.height < kMinImageSide)
        return {};
    return guarded([&] {
        Reading reading;
        DecodeResult result = reading.finderPass(frame, variant);
        if (result.decoded || result.status == DecodeStatus::MissingInput)
            return result;
        return searchThenMirror(reading, frame, std::move(result), variant, /*still=*/false);
    });
}

DecodeResult readStillImage(const ImageView& image) {
    return guarded([&] {
        Reading reading;
        return readPicture(reading, image);
    });
}

DecodeResult readImageFile(const ImageView& image) {
    const int shortSide = std::min(image.width, image.height);
    const int longSide = std::max(image.width, image.height);
    if (shortSide < kSmallestSymbolRows || longSide < kSmallestSymbolCols || !image.isComplete())
        return {};
    return guarded([&] {
        Reading reading;
        // An image a camera could have taken is read as it is first; a failure is reported as
        // the first picture saw it.
        const bool cameraSized = shortSide >= kEnlargedShortSide;
        DecodeResult first;
        if (cameraSized) {
            first = readPicture(reading, image);
            if (first.decoded || first.status == DecodeStatus::MissingInput)
                return first;
        }
        std::vector<uint8_t> copy;
        const GrayView gray = grayViewOf(image, copy);
        std::string why;
        const std::vector<Attempt> plan = planAttempts(gray, why);
        // A camera-sized image's plan starts with the image as it is, read above.
        for (size_t i = cameraSized ? 1 : 0; i < plan.size(); ++i) {
            DecodeResult result = readAttempt(reading, gray, plan[i]);
            if (result.decoded)
                return result;
            if (i == 0)
                first = std::move(result);
        }
        return first;
    });
}

}  // namespace dm
