#include "tests/support/symbol_builders.h"

#include <algorithm>

#include "encoder/message_encoder.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"

namespace dm::test {

std::vector<uint8_t> symbolWithData(std::vector<uint8_t> data, int sizeIndex) {
    const SymbolSize& s = symbolSize(sizeIndex);
    data.resize(s.dataCodewords, 129);
    data.resize(s.dataCodewords + s.eccCodewords);
    encodeBlocks(data, sizeIndex);
    return placeCodewords(data, sizeIndex);
}

std::vector<uint8_t> codewordsOf(std::span<const uint8_t> matrix, int sizeIndex) {
    const SymbolSize& s = symbolSize(sizeIndex);
    std::vector<uint8_t> stream(s.dataCodewords + s.eccCodewords);
    DecodeStatus status = DecodeStatus::Success;
    return extractCodewords(matrix, sizeIndex, stream, status) ? stream : std::vector<uint8_t>();
}

TestSymbol symbolFor(int sizeIndex, std::string message) {
    const SymbolSize& size = symbolSize(sizeIndex);
    TestSymbol symbol{std::move(message), {}, size.symbolRows, size.symbolCols};
    if (sizeIndex < kSquareCount) {
        const auto encoded = EncodeMessage(symbol.message);
        if (encoded && encoded->sizeIndex == sizeIndex)
            symbol.matrix = encoded->moduleMatrix;
        return symbol;
    }
    const int length = static_cast<int>(symbol.message.size());
    if (length > size.dataCodewords)
        return symbol;
    std::vector<uint8_t> data(static_cast<size_t>(size.dataCodewords));
    for (int j = 0; j < size.dataCodewords; ++j) {
        if (j < length) {
            data[j] = static_cast<uint8_t>(symbol.message[j] + 1);
        } else if (j == length) {
            data[j] = 129;
        } else {
            // Pads after the first are randomised by their position.
            int pad = 129 + (149 * (j + 1)) % 253 + 1;
            data[j] = static_cast<uint8_t>(pad > 254 ? pad - 254 : pad);
        }
    }
    symbol.matrix = symbolWithData(std::move(data), sizeIndex);
    return symbol;
}

TestSymbol smudgedSymbol() {
    TestSymbol symbol{"", symbolWithData({'O' + 1, 'K' + 1}, 0), 10, 10};
    for (int i = 1; i < 9; ++i) {
        symbol.matrix[5 * 10 + i] ^= 1;
        symbol.matrix[i * 10 + 3] ^= 1;
    }
    return symbol;
}

std::string letters(int length, int step) {
    std::string text;
    for (int i = 0; i < length; ++i)
        text += static_cast<char>('A' + (i * step) % 26);
    return text;
}

int blockCapacity(int sizeIndex) {
    const SymbolSize& s = symbolSize(sizeIndex);
    const int n = s.blockDataCodewords + s.blockEccCodewords;
    int syndromes = s.blockEccCodewords;
    if ((n == 8 && syndromes == 5) || (n == 12 && syndromes == 7))
        --syndromes;
    return syndromes / 2;
}

void corruptBlock(std::vector<uint8_t>& stream, int sizeIndex, int k, int count,
                  std::mt19937& rng) {
    const SymbolSize& s = symbolSize(sizeIndex);
    std::vector<int> positions;
    for (int i = 0; i < blockDataCount(sizeIndex, k); ++i)
        positions.push_back(k + i * s.blockCount);
    for (int m = 0; m < s.blockEccCodewords; ++m)
        positions.push_back(s.dataCodewords + k + m * s.blockCount);
    std::shuffle(positions.begin(), positions.end(), rng);
    for (int i = 0; i < count; ++i)
        stream[positions[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
}

}  // namespace dm::test
