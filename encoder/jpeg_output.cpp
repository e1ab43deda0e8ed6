#include "encoder/jpeg_output.h"

#include <turbojpeg.h>

#include <algorithm>
#include <string>

#include "platform/file_writing.h"

namespace dm {
namespace {

constexpr int kJpegQuality = 75;

// Owns a TurboJPEG compressor for the length of one save.
class TurboJpegHandle {
  public:
    TurboJpegHandle() : handle_(tjInitCompress()) {}
    ~TurboJpegHandle() {
        if (handle_)
            tjDestroy(handle_);
    }
    TurboJpegHandle(const TurboJpegHandle&) = delete;
    TurboJpegHandle& operator=(const TurboJpegHandle&) = delete;
    tjhandle get() const { return handle_; }

  private:
    tjhandle handle_;
};

// Owns the output buffer TurboJPEG allocates.
struct TurboJpegBuffer {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~TurboJpegBuffer() {
        if (data)
            tjFree(data);
    }
};

}  // namespace

std::vector<uint8_t> compressJpeg(const SymbolImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < static_cast<size_t>(image.width) * image.height) {
        return {};
    }
    TurboJpegHandle handle;
    if (!handle.get())
        return {};
    // A gray picture in RGB has luma equal to the gray level and neutral chroma, so the
    // YCbCr planes are handed over directly instead of converting every RGB pixel.
    constexpr int subsampling = TJSAMP_420;
    const int lumaWidth = tjPlaneWidth(0, image.width, subsampling);
    const int lumaHeight = tjPlaneHeight(0, image.height, subsampling);
    const int chromaWidth = tjPlaneWidth(1, image.width, subsampling);
    const int chromaHeight = tjPlaneHeight(1, image.height, subsampling);
    if (lumaWidth < image.width || lumaHeight < image.height || chromaWidth <= 0 ||
        chromaHeight <= 0) {
        return {};
    }
    // TurboJPEG reads the luma plane padded to whole chroma samples (an even width and
    // height): an odd-sized picture gets its last column and row repeated into a copy.
    std::vector<uint8_t> padded;
    const uint8_t* luma = image.pixels.data();
    if (lumaWidth != image.width || lumaHeight != image.height) {
        padded.resize(static_cast<size_t>(lumaWidth) * lumaHeight);
        for (int y = 0; y < lumaHeight; ++y) {
            const uint8_t* from = image.pixels.data() +
                                  static_cast<size_t>(std::min(y, image.height - 1)) * image.width;
            uint8_t* to = padded.data() + static_cast<size_t>(y) * lumaWidth;
            std::copy(from, from + image.width, to);
            std::fill(to + image.width, to + lumaWidth, from[image.width - 1]);
        }
        luma = padded.data();
    }
    const std::vector<uint8_t> chroma(static_cast<size_t>(chromaWidth) * chromaHeight, 128);
    const unsigned char* planes[3] = {luma, chroma.data(), chroma.data()};
    const int strides[3] = {lumaWidth, chromaWidth, chromaWidth};
    TurboJpegBuffer out;
    if (tjCompressFromYUVPlanes(handle.get(), planes, image.width, strides, image.height,
                                subsampling, &out.data, &out.size, kJpegQuality, 0) != 0) {
        return {};
    }
    return {out.data, out.data + out.size};
}

std::error_code SaveJpeg(const SymbolImage& image, const std::string& path) {
    if (path.empty())
        return std::make_error_code(std::errc::no_such_file_or_directory);
    const std::vector<uint8_t> jpeg = compressJpeg(image);
    if (jpeg.empty())
        return std::make_error_code(std::errc::invalid_argument);
    return writeFileAtomically(path, jpeg);
}

int32_t GenerateSymbolFile(std::span<const uint8_t> message, const std::string& path,
                           int moduleSize, int quietZone) {
    if (message.empty() || path.empty() || !validRenderParameters(moduleSize, quietZone))
        return -1;
    const auto rendered = RenderSymbol(message, moduleSize, quietZone);
    if (!rendered)
        return -1;
    if (SaveJpeg(rendered->image, path) != std::error_code{})
        return -1;
    return rendered->side;
}

}  // namespace dm
