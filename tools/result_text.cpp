#include "tools/result_text.h"

#include <nlohmann/json.hpp>

#include "decoder/picture_attempts.h"
#include "platform/image_files.h"
#include "platform/message_text.h"
#include "symbology/symbol_size.h"

namespace dm::tool {
namespace {

// 12345678 as "12,345,678".
std::string withThousands(int64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

std::string sizeName(int sizeIndex) {
    if (!isValidSizeIndex(sizeIndex))
        return {};
    const SymbolSize& s = symbolSize(sizeIndex);
    return std::to_string(s.symbolRows) + "x" + std::to_string(s.symbolCols);
}

std::string displayText(const DecodeResult& result) {
    return messageText(result.text, result.eciSegments);
}

std::string hexBytes(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

std::string jsonString(const std::string& s) {
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string decodingLimits() {
    return "Images are read up to " + withThousands(kMaxImageSide) + " pixels a side and " +
           withThousands(kMaxImagePixels) + " pixels in all, files up to " +
           std::to_string(kMaxImageFileBytes >> 20) + " MiB (JPEG files " +
           std::to_string(kMaxJpegFileBytes >> 20) +
           " MiB); larger ones are refused before their pixels are decoded. Each file is "
           "decoded at most " +
           std::to_string(kMaxAttempts) + " times, on pictures of at most " +
           withThousands(kMaxFramedPixels) +
           " pixels or the image itself; images too small to hold a symbol are not decoded, blank "
           "ones once.";
}

}  // namespace dm::tool
