// Arbitrary module matrices of every size through extraction, block split, Reed-Solomon
// correction and join, under both 144x144 interleavings, and through the correction that
// chooses the interleaving, which must read whatever the standard one reads, alike; then with
// doubtful codewords erased (the input's trailing bytes rate them), which must read whatever
// the correction without doubt reads, and only as codewords that check.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "symbology/codeword_correction.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int sizeIndex = data[0] % dm::kSizeCount;
    const dm::SymbolSize& s = dm::symbolSize(sizeIndex);
    std::vector<uint8_t> matrix(static_cast<size_t>(s.symbolRows) * s.symbolCols, 0);
    // One input bit per module; values other than 0 and 1 must also be tolerated.
    for (size_t i = 0; i < matrix.size(); ++i) {
        const size_t byte = 1 + i / 8;
        if (byte < size)
            matrix[i] = (data[byte] >> (i % 8)) & 1 ? (data[0] & 0x80 ? 2 : 1) : 0;
    }
    std::vector<uint8_t> stream(s.dataCodewords + s.eccCodewords);
    dm::DecodeStatus status = dm::DecodeStatus::Success;
    if (!dm::extractCodewords(matrix, sizeIndex, stream, status))
        __builtin_trap();
    const dm::CodewordCorrection corrected =
        dm::correctCodewords(stream, sizeIndex, dm::BlockScope::EveryBlock);
    if (corrected.ok != (corrected.status == dm::DecodeStatus::Success) ||
        corrected.blocks.size() != static_cast<size_t>(s.blockCount) ||
        corrected.codewords.size() != (corrected.ok ? stream.size() : 0)) {
        __builtin_trap();
    }
    std::vector<uint8_t> doubt(stream.size(), 0);
    for (size_t i = 0; i < doubt.size() && size > doubt.size() + i; ++i)
        doubt[i] = data[size - 1 - i] % 4;
    const dm::CodewordCorrection erased =
        dm::correctCodewords(stream, sizeIndex, dm::BlockScope::EveryBlock, doubt);
    if ((corrected.ok && (!erased.ok || erased.codewords != corrected.codewords)) ||
        (erased.ok && !dm::correctCodewords(erased.codewords, sizeIndex).ok)) {
        __builtin_trap();
    }
    for (auto interleaving : {dm::Interleaving::Compliant, dm::Interleaving::Legacy}) {
        dm::BlockArray blocks = dm::makeReceivedBlocks(sizeIndex);
        dm::BlockArray dataBlocks = dm::makeDataBlocks(sizeIndex);
        std::vector<uint8_t> out(s.dataCodewords);
        if (!dm::splitBlocks(stream, blocks, sizeIndex, status, interleaving))
            __builtin_trap();
        if (dm::decodeBlocks(blocks, dataBlocks, sizeIndex, status)) {
            if (!dm::joinData(dataBlocks, out, sizeIndex, status))
                __builtin_trap();
            if (interleaving == dm::Interleaving::Compliant &&
                (!corrected.ok || corrected.interleaving != interleaving ||
                 !std::equal(out.begin(), out.end(), corrected.codewords.begin()))) {
                __builtin_trap();
            }
        } else if (status != dm::DecodeStatus::BlockUncorrectable) {
            __builtin_trap();
        }
    }
    return 0;
}
