#include "tools/file_decoding.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "symbology/symbol_size.h"
#include "tools/gbk_text.h"
#include "tools/image_files.h"

namespace dm::tool {
namespace {

// Enlarged images stop at this short side: beyond it every module is large enough.
constexpr int kLargestEnlargedSide = 1200;

}  // namespace

FileOutcome decodeImageFile(const std::string& path, FrameIntake& intake) {
    FileOutcome out;
    auto image = loadImage(path, out.loadError);
    if (!image)
        return out;
    out.loaded = true;
    // First at the scale a camera would see; when that fails, at smaller integer factors,
    // since enlarged modules can outgrow what the detector handles (long rectangles above all),
    // then at larger ones, since modules under about four pixels are too fine for it.
    const auto start = std::chrono::steady_clock::now();
    std::string text;
    const int firstScale = cameraScale(*image);
    std::vector<int> scales;
    for (int scale = firstScale; scale >= 1; scale /= 2)
        scales.push_back(scale);
    const int shortSide = std::min(image->width, image->height);
    for (int scale = firstScale + 1; shortSide * scale <= kLargestEnlargedSide; ++scale)
        scales.push_back(scale);
    for (const int scale : scales) {
        const FrameDecodeResult result =
            decodeStillFrame(toCameraFrame(*image, scale), text, intake);
        if (result.decoded || scale == firstScale) {
            out.result = result;
            out.text = text;
        }
        if (result.decoded)
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

std::string displayText(const std::string& bytes) {
    return gbkToUtf8(bytes);
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
