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
    // Nothing in the symbology yields more than two bytes per codeword... except a Base256
    // segment, which yields one; any longer text means the decoder invented output.
    if (ok && text.size() > 3 * codewords.size())
        __builtin_trap();
    return 0;
}
