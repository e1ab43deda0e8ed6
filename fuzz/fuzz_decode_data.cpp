// Arbitrary data codeword streams into the data decodation of every symbol size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/data_decodation.h"
#include "symbology/symbol_size.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int sizeIndex = data[0] % dm::kSizeCount;
    const int count = dm::symbolSize(sizeIndex).dataCodewords;
    std::vector<uint8_t> codewords(count, 0);
    for (size_t i = 1; i < size && static_cast<int>(i - 1) < count; ++i)
        codewords[i - 1] = data[i];
    dm::DecodeState state;
    dm::DecodeStatus status = dm::DecodeStatus::Success;
    std::vector<uint8_t> text;
    const bool ok = dm::decodeData(codewords, text, state, status);
    // Any longer text means the decoder invented output.
    if (ok && text.size() > dm::maxMessageBytes(codewords.size()))
        __builtin_trap();
    // ECI segments start in order within the text.
    int32_t previous = 0;
    for (const dm::EciSegment& segment : state.format.eciSegments) {
        if (ok && (segment.begin < previous || segment.begin > static_cast<int32_t>(text.size())))
            __builtin_trap();
        previous = segment.begin;
    }
    return 0;
}
