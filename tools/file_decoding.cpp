#include "tools/file_decoding.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/message_text.h"
#include "symbology/symbol_size.h"

namespace dm::tool {
namespace {

// Enlarged images stop at this short side: beyond it every module is large enough.
constexpr int kLargestEnlargedSide = 1200;

}  // namespace

int cameraScale(const RgbImage& image) {
    const int shortSide = std::min(image.width, image.height);
    return shortSide > 0 && shortSide < kEnlargedShortSide
               ? (kEnlargedShortSide + shortSide - 1) / shortSide
               : 1;
}

GrayPicture framedPicture(const RgbImage& image, int scale) {
    scale = std::max(scale, 1);
    // Gray first, then enlarged: each source pixel is converted once.
    std::vector<uint8_t> source(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < source.size(); ++i) {
        const uint8_t* p = image.rgb.data() + 3 * i;
        source[i] = grayLevel(p[0], p[1], p[2]);
    }
    const int border = std::max(16, std::min(image.width, image.height) * scale / 4);
    GrayPicture out;
    out.scale = scale;
    out.border = border;
    out.width = image.width * scale + 2 * border;
    out.height = image.height * scale + 2 * border;
    out.gray.assign(static_cast<size_t>(out.width) * out.height, 255);
    for (int y = 0; y < image.height * scale; ++y) {
        const uint8_t* in = source.data() + static_cast<size_t>(y / scale) * image.width;
        uint8_t* row = out.gray.data() + static_cast<size_t>(y + border) * out.width + border;
        for (int x = 0; x < image.width * scale; ++x)
            row[x] = in[x / scale];
    }
    return out;
}

FileOutcome decodeImageFile(const std::string& path) {
    FileOutcome out;
    auto image = loadImage(path, out.loadError);
    if (!image)
        return out;
    out.loaded = true;
    // First at the scale a camera would see; when that fails, at smaller integer factors,
    // since enlarged modules can outgrow what the detector handles (long rectangles above all),
    // then at larger ones, since modules under about four pixels are too fine for it.
    const auto start = std::chrono::steady_clock::now();
    const int firstScale = cameraScale(*image);
    std::vector<int> scales;
    for (int scale = firstScale; scale >= 1; scale /= 2)
        scales.push_back(scale);
    const int shortSide = std::min(image->width, image->height);
    for (int scale = firstScale + 1; shortSide * scale <= kLargestEnlargedSide; ++scale)
        scales.push_back(scale);
    for (const int scale : scales) {
        const GrayPicture picture = framedPicture(*image, scale);
        DecodeResult result = decodeImage({picture.gray, picture.width, picture.height, 1});
        if (result.corners) {
            for (ImagePoint& corner : *result.corners) {  // back into the file's own pixels
                corner.x = (corner.x - picture.border) / picture.scale;
                corner.y = (corner.y - picture.border) / picture.scale;
            }
        }
        const bool decoded = result.decoded;
        if (decoded || scale == firstScale)
            out.result = std::move(result);
        if (decoded)
            break;
    }
    out.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return out;
}

std::string sizeName(int sizeIndex) {
    if (!isValidSizeIndex(sizeIndex))
        return {};
    const SymbolSize& s = symbolSize(sizeIndex);
    return std::to_string(s.symbolCols) + "x" + std::to_string(s.symbolRows);
}

std::string displayText(const DecodeResult& result) {
    return messageText(result.text, result.eciSegments);
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F || c >= 0x80) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    if (c >= 0x80) {
                        // Keep well-formed UTF-8 as it is; escape stray bytes.
                        const int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
                        bool valid = len > 0 && i + len <= s.size();
                        for (int k = 1; valid && k < len; ++k) {
                            valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
                        }
                        if (valid) {
                            out.append(s, i, len);
                            i += len - 1;
                            break;
                        }
                    }
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace dm::tool
