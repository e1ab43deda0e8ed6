#include "encoder/jpeg_output.h"

#include <fcntl.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

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

// Writes all bytes to a new file beside path, then renames it over path.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
    std::random_device rd;
    const std::string temp = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(rd());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

}  // namespace

std::vector<uint8_t> CompressJpeg(const SymbolImage& image) {
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
    const int chromaWidth = tjPlaneWidth(1, image.width, subsampling);
    const int chromaHeight = tjPlaneHeight(1, image.height, subsampling);
    const std::vector<uint8_t> chroma(static_cast<size_t>(chromaWidth) * chromaHeight, 128);
    const unsigned char* planes[3] = {image.pixels.data(), chroma.data(), chroma.data()};
    const int strides[3] = {image.width, chromaWidth, chromaWidth};
    TurboJpegBuffer out;
    if (tjCompressFromYUVPlanes(handle.get(), planes, image.width, strides, image.height,
                                subsampling, &out.data, &out.size, kJpegQuality, 0) != 0) {
        return {};
    }
    return {out.data, out.data + out.size};
}

bool SaveJpeg(const SymbolImage& image, const std::string& path) {
    if (path.empty())
        return false;
    const std::vector<uint8_t> jpeg = CompressJpeg(image);
    return !jpeg.empty() && writeFileAtomically(path, jpeg);
}

int32_t GenerateSymbolFile(std::span<const uint8_t> message, const std::string& path,
                           int moduleSize, int quietZone) {
    if (message.empty() || path.empty() || !validRenderParameters(moduleSize, quietZone))
        return -1;
    const auto rendered = RenderSymbol(message, moduleSize, quietZone);
    if (!rendered)
        return -1;
    if (!SaveJpeg(rendered->image, path))
        return -1;
    return rendered->side;
}

}  // namespace dm
