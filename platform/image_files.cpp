#include "platform/image_files.h"

#include "decoder/frame_dib.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <span>

#include "platform/file_reading.h"
#include "platform/file_writing.h"

namespace dm {
namespace {

using Bytes = std::span<const uint8_t>;

// Whether an image of this size may be read; otherwise error says why.
bool sizeAccepted(const char* format, int64_t width, int64_t height, std::string& error) {
    if (width <= 0 || height <= 0) {
        error = std::string("corrupt ") + format + ": the header gives no size";
        return false;
    }
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
        error = std::to_string(width) + " x " + std::to_string(height) +
                " pixels is larger than the tool reads (at most " + std::to_string(kMaxImageSide) +
                " pixels a side and " + std::to_string(kMaxImagePixels) + " pixels in all)";
        return false;
    }
    return true;
}

// CMYK as Adobe software writes it, the usual source of CMYK JPEGs: every component stored
// inverted (255 = no ink). Each colour is the paper's white less its ink and the black. The
// pixels are converted in place, four bytes to three, so no second image buffer is needed.
void cmykToRgbInPlace(std::vector<uint8_t>& pixels) {
    size_t o = 0;
    for (size_t i = 0; i + 3 < pixels.size(); i += 4, o += 3) {
        const unsigned k = pixels[i + 3];
        for (int c = 0; c < 3; ++c)
            pixels[o + c] = static_cast<uint8_t>(pixels[i + c] * k / 255);
    }
    pixels.resize(o);
}

std::optional<RgbImage> decodeJpeg(Bytes data, std::string& error) {
    tjhandle h = tjInitDecompress();
    if (!h) {
        error = "JPEG decoder unavailable";
        return std::nullopt;
    }
    struct Closer {
        tjhandle h;
        ~Closer() { tjDestroy(h); }
    } closer{h};
    int w = 0, ht = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(h, data.data(), data.size(), &w, &ht, &subsamp, &colorspace) != 0) {
        error = std::string("corrupt JPEG: ") + tjGetErrorStr2(h);
        return std::nullopt;
    }
    if (!sizeAccepted("JPEG", w, ht, error))
        return std::nullopt;
    // CMYK and YCCK files decode only to CMYK; everything else straight to RGB.
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    RgbImage img{w, ht, std::vector<uint8_t>(static_cast<size_t>(w) * ht * (cmyk ? 4 : 3))};
    if (tjDecompress2(h, data.data(), data.size(), img.rgb.data(), w, 0, ht,
                      cmyk ? TJPF_CMYK : TJPF_RGB, 0) != 0 &&
        tjGetErrorCode(h) == TJERR_FATAL) {
        error = std::string("corrupt JPEG: ") + tjGetErrorStr2(h);
        return std::nullopt;
    }
    if (cmyk)
        cmykToRgbInPlace(img.rgb);
    return img;
}

std::optional<RgbImage> decodePng(Bytes data, std::string& error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
        error = std::string("corrupt PNG: ") + image.message;
        return std::nullopt;
    }
    if (!sizeAccepted("PNG", image.width, image.height, error)) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGB;
    RgbImage img{static_cast<int>(image.width), static_cast<int>(image.height), {}};
    img.rgb.resize(PNG_IMAGE_SIZE(image));
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&image, &white, img.rgb.data(), 0, nullptr)) {
        error = std::string("corrupt PNG: ") + image.message;
        png_image_free(&image);
        return std::nullopt;
    }
    return img;
}

uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Uncompressed BMP of 1, 4, 8, 24 or 32 bits per pixel, either row order.
std::optional<RgbImage> decodeBmp(Bytes data, std::string& error) {
    auto bad = [&](const char* why) {
        error = std::string("unsupported or corrupt BMP: ") + why;
        return std::nullopt;
    };
    if (data.size() < 54)
        return bad("file too short");
    const uint32_t pixelOffset = le32(&data[10]);
    const uint32_t headerSize = le32(&data[14]);
    if (headerSize < 40 || 14 + static_cast<uint64_t>(headerSize) > data.size())
        return bad("header");
    const auto width = static_cast<int32_t>(le32(&data[18]));
    const auto rawHeight = static_cast<int32_t>(le32(&data[22]));
    const uint16_t bits = le16(&data[28]);
    const uint32_t compression = le32(&data[30]);
    uint32_t colours = le32(&data[46]);
    if (compression != 0 && !(compression == 3 && bits == 32))
        return bad("compressed pixel data");
    if (!sizeAccepted("BMP", width, std::abs(int64_t{rawHeight}), error))
        return std::nullopt;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        return bad("bit depth");
    const int height = std::abs(rawHeight);
    const bool bottomUp = rawHeight > 0;
    std::vector<std::array<uint8_t, 3>> palette;
    if (bits <= 8) {
        if (colours == 0 || colours > (1u << bits))
            colours = 1u << bits;
        const uint64_t paletteStart = 14 + static_cast<uint64_t>(headerSize);
        if (paletteStart + 4ull * colours > data.size())
            return bad("palette");
        for (uint32_t i = 0; i < colours; ++i) {
            const uint8_t* q = &data[paletteStart + 4 * i];
            palette.push_back({q[2], q[1], q[0]});
        }
    }
    const auto stride = static_cast<uint64_t>(CFrameDib::stride(width, bits));
    if (pixelOffset + stride * height > data.size())
        return bad("pixel data truncated");
    RgbImage img{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &data[pixelOffset + stride * (bottomUp ? height - 1 - y : y)];
        uint8_t* out = &img.rgb[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            std::array<uint8_t, 3> px{};
            if (bits == 24 || bits == 32) {
                const uint8_t* q = row + x * (bits / 8);
                px = {q[2], q[1], q[0]};
            } else {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                const uint32_t index = (row[x / perByte] >> shift) & ((1u << bits) - 1);
                if (index < palette.size())
                    px = palette[index];
            }
            std::copy(px.begin(), px.end(), out + 3 * x);
        }
    }
    return img;
}

}  // namespace

std::optional<RgbImage> loadImage(const std::string& path, std::string& error) {
    const FileContents file = readRegularFile(path, kMaxImageFileBytes);
    if (!file.ok()) {
        error = file.tooLarge
                    ? "the file is larger than " + std::to_string(kMaxImageFileBytes >> 20) +
                          " MiB, the most an image file may be"
                    : file.error;
        return std::nullopt;
    }
    const Bytes d(reinterpret_cast<const uint8_t*>(file.bytes.data()), file.bytes.size());
    if (d.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) {
        if (d.size() > kMaxJpegFileBytes) {
            error = "the JPEG file is larger than " + std::to_string(kMaxJpegFileBytes >> 20) +
                    " MiB, the most a JPEG file may be";
            return std::nullopt;
        }
        return decodeJpeg(d, error);
    }
    if (d.size() >= 8 && std::memcmp(d.data(), "\x89PNG\r\n\x1a\n", 8) == 0)
        return decodePng(d, error);
    if (d.size() >= 2 && d[0] == 'B' && d[1] == 'M')
        return decodeBmp(d, error);
    error = d.empty() ? "empty file" : "not a JPEG, PNG or BMP image";
    return std::nullopt;
}

}  // namespace dm

namespace dm {

std::optional<ImageDimensions> readImageDimensions(const std::string& path) {
    // Headers lie within the first bytes; a JPEG's frame header after its metadata segments,
    // which are rarely longer than this.
    constexpr size_t kHeadBytes = 256 * 1024;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::vector<uint8_t> head;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        head.resize(kHeadBytes);
        size_t got = 0;
        while (got < head.size()) {
            const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        head.resize(got);
    }
    ::close(fd);
    const Bytes d(head);
    auto be16 = [&](size_t i) { return d[i] << 8 | d[i + 1]; };
    auto be32 = [&](size_t i) { return static_cast<int64_t>(be16(i)) << 16 | be16(i + 2); };
    if (d.size() >= 24 && std::memcmp(d.data(), "\x89PNG\r\n\x1a\n", 8) == 0)
        return ImageDimensions{static_cast<int>(std::min<int64_t>(be32(16), INT32_MAX)),
                               static_cast<int>(std::min<int64_t>(be32(20), INT32_MAX))};
    if (d.size() >= 26 && d[0] == 'B' && d[1] == 'M') {
        const auto height = static_cast<int32_t>(le32(&d[22]));
        return ImageDimensions{static_cast<int32_t>(le32(&d[18])),
                               height == INT32_MIN ? INT32_MAX : std::abs(height)};
    }
    if (d.size() >= 4 && d[0] == 0xFF && d[1] == 0xD8) {
        // Segment by segment to the frame header: SOF0 to SOF15 but for DHT, JPG and DAC.
        size_t i = 2;
        while (i + 9 < d.size() && d[i] == 0xFF) {
            const uint8_t marker = d[i + 1];
            if (marker == 0xFF) {
                ++i;
                continue;
            }
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                marker != 0xCC)
                return ImageDimensions{be16(i + 7), be16(i + 5)};
            i += 2 + static_cast<size_t>(be16(i + 2));
        }
    }
    return std::nullopt;
}

namespace {

bool holdsPixels(const RgbImage& image) {
    return image.width > 0 && image.height > 0 &&
           image.rgb.size() >= static_cast<size_t>(image.width) * image.height * 3;
}

}  // namespace

std::vector<uint8_t> encodePng(const RgbImage& image) {
    if (!holdsPixels(image))
        return {};
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    // Compressed once into a buffer of the largest size the image can take.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, image.rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return {};
    }
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> encodeJpeg(const RgbImage& image, int quality) {
    if (!holdsPixels(image))
        return {};
    tjhandle h = tjInitCompress();
    if (!h)
        return {};
    struct Closer {
        tjhandle h;
        unsigned char* out = nullptr;
        ~Closer() {
            tjFree(out);
            tjDestroy(h);
        }
    } closer{h};
    unsigned long size = 0;
    if (tjCompress2(h, image.rgb.data(), image.width, 0, image.height, TJPF_RGB, &closer.out, &size,
                    TJSAMP_420, std::clamp(quality, 1, 100), TJFLAG_ACCURATEDCT) != 0)
        return {};
    return {closer.out, closer.out + size};
}

std::error_code savePng(const std::string& path, const RgbImage& image) {
    const std::vector<uint8_t> bytes = encodePng(image);
    if (bytes.empty())
        return std::make_error_code(std::errc::invalid_argument);
    return writeFileAtomically(path, bytes);
}

}  // namespace dm
