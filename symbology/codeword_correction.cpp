#include "symbology/codeword_correction.h"

#include "symbology/symbol_size.h"

namespace dm {
namespace {

CodewordCorrection correctUnder(std::span<const uint8_t> stream, int sizeIndex,
                                Interleaving interleaving, BlockScope scope) {
    CodewordCorrection out;
    out.interleaving = interleaving;
    if (!isValidSizeIndex(sizeIndex)) {
        out.status = DecodeStatus::SizeIndexOutOfRange;
        return out;
    }
    BlockArray blocks = makeReceivedBlocks(sizeIndex);
    if (!splitBlocks(stream, blocks, sizeIndex, out.status, interleaving))
        return out;
    const SymbolSize& s = symbolSize(sizeIndex);
    const int ecc = s.blockEccCodewords;
    out.status = DecodeStatus::Success;
    out.blocks.reserve(s.blockCount);
    for (int k = 0; k < s.blockCount; ++k) {
        const int data = blockDataCount(sizeIndex, k);
        const BlockCorrection c = correctBlock(blocks.row(k), data, ecc);
        const bool corrected = c.status == DecodeStatus::Success;
        out.blocks.push_back({corrected ? c.errors : -1, correctableErrors(data, ecc)});
        if (!corrected && out.status == DecodeStatus::Success) {
            out.status = c.status;
            if (scope == BlockScope::UntilUncorrectable)
                return out;
        }
    }
    if (out.status != DecodeStatus::Success)
        return out;

    // Each corrected block goes back where the split took it from.
    out.codewords.resize(static_cast<size_t>(s.dataCodewords) + s.eccCodewords);
    if (!joinData(blocks, out.codewords, sizeIndex, out.status)) {
        out.codewords.clear();
        return out;
    }
    for (int k = 0; k < s.blockCount; ++k) {
        const int data = blockDataCount(sizeIndex, k);
        const auto row = blocks.row(k);
        for (int i = data; i < data + ecc; ++i)
            out.codewords[blockPosition(sizeIndex, k, i, interleaving)] = row[i];
    }
    out.ok = true;
    return out;
}

}  // namespace

CodewordCorrection correctCodewords(std::span<const uint8_t> stream, int sizeIndex,
                                    BlockScope scope) {
    CodewordCorrection out = correctUnder(stream, sizeIndex, Interleaving::Compliant, scope);
    if (sizeIndex == kLargestSquare && out.status == DecodeStatus::BlockUncorrectable) {
        // Some writers of the 144x144 symbol deal the whole stream out by position.
        CodewordCorrection legacy =
            correctUnder(stream, sizeIndex, Interleaving::Legacy, BlockScope::UntilUncorrectable);
        if (legacy.ok)
            return legacy;
    }
    return out;
}

int blockPosition(int sizeIndex, int k, int i, Interleaving interleaving) {
    const SymbolSize& s = symbolSize(sizeIndex);
    const int b = s.blockCount;
    const int data = blockDataCount(sizeIndex, k);
    if (i < data || (sizeIndex == kLargestSquare && interleaving == Interleaving::Legacy))
        return k + i * b;
    return s.dataCodewords + k + (i - data) * b;
}

}  // namespace dm
