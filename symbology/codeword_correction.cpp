#include "symbology/codeword_correction.h"

#include "symbology/symbol_size.h"

#include <algorithm>
#include <vector>

namespace dm {
namespace {

// Corrects block k, with its most doubtful codewords erased when it does not correct as it is.
BlockErrors correctWithDoubt(std::span<uint8_t> block, int sizeIndex, int k,
                             Interleaving interleaving, std::span<const uint8_t> doubt,
                             DecodeStatus& status) {
    const int ecc = symbolSize(sizeIndex).blockEccCodewords;
    const int data = blockDataCount(sizeIndex, k);
    BlockCorrection c = correctBlock(block, data, ecc);
    BlockErrors out{-1, correctableErrors(data, ecc), 0, 0};
    if (c.status != DecodeStatus::Success && !doubt.empty()) {
        std::vector<int32_t> doubtful;
        for (int i = 0; i < data + ecc; ++i) {
            if (doubt[static_cast<size_t>(blockPosition(sizeIndex, k, i, interleaving))] > 0)
                doubtful.push_back(i);
        }
        std::stable_sort(doubtful.begin(), doubtful.end(), [&](int32_t a, int32_t b) {
            return doubt[static_cast<size_t>(blockPosition(sizeIndex, k, a, interleaving))] >
                   doubt[static_cast<size_t>(blockPosition(sizeIndex, k, b, interleaving))];
        });
        const int most = std::min(static_cast<int>(doubtful.size()), 2 * out.capacity - 2);
        for (const int erased : {most, most / 2}) {
            if (erased <= 0)
                break;
            c = correctBlock(block, data, ecc, std::span(doubtful).first(erased));
            if (c.status == DecodeStatus::Success) {
                out.erased = erased;
                break;
            }
        }
    }
    status = c.status;
    if (c.status == DecodeStatus::Success) {
        out.errors = c.errors;
        out.spareSyndromes = c.spareSyndromes;
    }
    return out;
}

CodewordCorrection correctUnder(std::span<const uint8_t> stream, int sizeIndex,
                                Interleaving interleaving, BlockScope scope,
                                std::span<const uint8_t> doubt = {}) {
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
        DecodeStatus blockStatus = DecodeStatus::Success;
        out.blocks.push_back(
            correctWithDoubt(blocks.row(k), sizeIndex, k, interleaving, doubt, blockStatus));
        if (blockStatus != DecodeStatus::Success && out.status == DecodeStatus::Success) {
            out.status = blockStatus;
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
                                    BlockScope scope, std::span<const uint8_t> doubt) {
    if (!doubt.empty() && doubt.size() < stream.size())
        doubt = {};
    CodewordCorrection out = correctUnder(stream, sizeIndex, Interleaving::Compliant, scope, doubt);
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
