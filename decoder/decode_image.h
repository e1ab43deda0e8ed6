#pragma once

// Decoding Data Matrix symbols from pixels in memory: the one header a program needs.
//
//     const dm::DecodeResult r = dm::decodeImage({pixels, width, height});  // gray pixels
//     if (r.decoded) use(r.text);  // else r.status, r.statusMeaning()

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "detection/shared/geometry.h"
#include "symbology/api.h"
#include "symbology/decode_status.h"
#include "symbology/message_format.h"

namespace dm {

enum class RowOrder : uint8_t {
    TopDown,   // the first stored row is the top of the picture (image files, most buffers)
    BottomUp,  // the first stored row is the bottom of the picture (camera bitmaps)
};

// How a pixel is stored; the value is its size in bytes.
enum class PixelFormat : uint8_t {
    Gray = 1,  // one gray level
    Bgr = 3,   // blue, green, red
    Bgra = 4,  // blue, green, red and a byte that is not read
};

// Bytes per pixel of a format; 0 for a value that names none.
constexpr int32_t bytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::Gray:
        case PixelFormat::Bgr:
        case PixelFormat::Bgra:
            return static_cast<int32_t>(format);
    }
    return 0;
}

// Pixels of one image as the caller holds them; nothing is copied.
struct ImageView {
    std::span<const uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
    PixelFormat format = PixelFormat::Gray;
    int64_t rowStride = 0;  // bytes from one stored row to the next; 0: width x bytes per pixel
    RowOrder rowOrder = RowOrder::TopDown;

    int64_t strideBytes() const {
        return rowStride != 0 ? rowStride : int64_t{width} * bytesPerPixel(format);
    }
    // Whether the view describes pixels that are all there: a size, a known format, rows at
    // least a row apart and the bytes to fill them.
    DM_API bool isComplete() const;
};

// Camera frames narrower or lower than this are refused as missing input.
inline constexpr int32_t kMinImageSide = 10;
// Still images are enlarged down to the fewest pixels a symbol can span at one pixel per module,
// either way round: the 8 rows of the smallest rectangle, the 10 columns of the smallest square.
inline constexpr int32_t kSmallestSymbolRows = 8;
inline constexpr int32_t kSmallestSymbolCols = 10;

// The threshold variants: 0 whole image, 1 central half, 2 central three quarters.
inline constexpr uint32_t kThresholdVariantCount = 3;

struct DecodeOptions {
    // Empty: a still image, every variant in turn until one decodes. Set: a camera frame, read
    // within a frame period with that variant only (taken modulo kThresholdVariantCount); a
    // camera loop passes its frame count.
    std::optional<uint32_t> thresholdVariant;
    // A still image that does not read as it is is read again enlarged and framed in light, as
    // image files need (cropped close to the symbol, small, or of one or two pixels a module).
    // Up to kMaxAttempts pictures: a failing image costs several times as much.
    bool enlarge = false;
    // Threads one picture is read with (at most 64): a camera frame larger than 1280 x 720 is
    // halved by them in bands; an image file's enlarged pictures are read side by side. 1 (or
    // less) reads on the caller's thread alone. The result is the same whatever the count.
    int32_t threads = 1;
};

// A point in picture coordinates (fields x, y): x to the right, y downwards, (0, 0) the top-left
// corner of the top-left pixel, whatever the stored row order.
using ImagePoint = PointD;

// Outer corners of a symbol as printed (solid finder along its left and bottom edges): top left,
// top right, bottom right, bottom left. Any quadrilateral. A mirrored symbol keeps the corners'
// places in the symbol (the last is still where the solid edges meet), so they run the other
// way round in the picture.
using SymbolCorners = std::array<ImagePoint, 4>;

struct DecodeResult {
    bool decoded = false;
    DecodeStatus status = DecodeStatus::MissingInput;
    // The message bytes: a Macro 05/06 expanded to its header and trailer, FNC1 as the group
    // separator 29, ECI designators left out (eciSegments says where they stood). No character
    // set conversion: bytes without an ECI are code page 936 (GBK) text for this system.
    std::string text;
    int32_t sizeIndex = -1;  // symbol size index, -1 when no size was measured
    int32_t symbolRows = 0;  // symbol size in modules, 0 when no size was measured
    int32_t symbolCols = 0;
    uint8_t appendPosition = 0;  // Structured Append: this symbol's position, 1-based; 0 if none
    uint8_t appendTotal = 0;     // Structured Append: number of symbols; 0 if none
    uint8_t fileId1 = 0;         // Structured Append file identification
    uint8_t fileId2 = 0;
    std::string symbologyIdentifier;       // AIM identifier "]d1" to "]d6", set once decoded
    std::vector<EciSegment> eciSegments;   // character sets in force from a byte of text on
    bool gs1 = false;                      // FNC1 in the first position: GS1 element strings
    uint8_t macro = 0;                     // 5 or 6: text holds the Macro 05/06 header, trailer
    bool readerProgramming = false;        // a Reader Programming symbol
    bool mirrored = false;                 // read from the picture's mirror image
    bool inverted = false;                 // printed light on a dark ground
    std::optional<SymbolCorners> corners;  // set once the symbol was located and measured

    std::string_view statusMeaning() const { return dm::statusMeaning(status); }
};

// Gray level the decoder reads a colour pixel as: (59 green + 30 red + 11 blue) / 100.
DM_API uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue);

struct ReadingBuffers;  // the decoder's own (decoder/reading.cpp)

// Buffers a camera loop keeps from one frame to the next: the decoder's gray copies, dark maps
// and tile statistics and the halved frame of a large one. A frame read with them allocates
// and clears nothing that an earlier frame of the same size already had; the result is the
// same as with fresh buffers. One per thread. A copy starts with buffers of its own (empty).
class FrameBuffers {
  public:
    DM_API FrameBuffers() noexcept;
    DM_API ~FrameBuffers();
    DM_API FrameBuffers(const FrameBuffers&) noexcept;
    DM_API FrameBuffers& operator=(const FrameBuffers&) noexcept;

    // The decoder's buffers, made on first use (may throw std::bad_alloc); for the decoder.
    ReadingBuffers& reading();
    // Drops the buffers, as after a read that ran out of memory.
    void release() noexcept;

  private:
    std::unique_ptr<ReadingBuffers> buffers_;
};

// Finds and decodes one symbol in the image: the finder search under a frame-wide threshold
// first, then the frame search under local thresholds, then the mirror image.
// Symbols seen in a mirror (printed on the back of a clear label, or through glass) are read
// too. A view that does not describe its pixels (too small, an unknown pixel format, stride
// below a row, pixels too short) fails with MissingInput.
DM_API DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options = {});

// decodeImage with the caller's buffers: a camera frame (thresholdVariant set) reuses them from
// the frames read with them before; other images are read as decodeImage reads them.
DM_API DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options,
                                FrameBuffers& buffers);

// The most symbols decodeAllSymbols reads unless told otherwise.
inline constexpr int32_t kDefaultMostSymbols = 64;

// What decodeAllSymbols read.
struct ImageSymbols {
    std::vector<DecodeResult> symbols;  // every symbol read (corners set), in reading order
    DecodeResult failure;               // when none was read: how far the decode got
};

// Every symbol in the image, each once (outlines that overlap are one symbol), in reading
// order: rows top to bottom, each left to right, by the symbols' centres. The image is read as
// decodeImage reads it; once that read a symbol, the whole picture is searched again for the
// others, passing over those read. A picture without a symbol costs one decodeImage.
DM_API ImageSymbols decodeAllSymbols(const ImageView& image, const DecodeOptions& options = {},
                                     int32_t mostSymbols = kDefaultMostSymbols);

}  // namespace dm
