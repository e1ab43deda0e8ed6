#include "symbology/reed_solomon.h"

#include <algorithm>
#include <array>

#include "symbology/symbol_size.h"

namespace dm {
namespace {

struct GaloisTables {
    std::array<uint8_t, 256> antilog{};  // antilog[255] = 0
    std::array<uint8_t, 256> log{};      // log[0] = 255, the marker for zero
};

constexpr GaloisTables makeTables() {
    GaloisTables t;
    int v = 1;
    for (int i = 0; i < 255; ++i) {
        t.antilog[i] = static_cast<uint8_t>(v);
        t.log[v] = static_cast<uint8_t>(i);
        v <<= 1;
        if (v & 0x100)
            v ^= 0x12D;
    }
    t.antilog[255] = 0;
    t.log[0] = 255;
    return t;
}

constexpr GaloisTables kGf = makeTables();
static_assert(kGf.antilog[8] == 45 && kGf.antilog[254] == 150 && kGf.log[3] == 240);

constexpr int kMaxBlockEcc = 68;

uint8_t gfPow(int exponent) {
    return kGf.antilog[reduceExponent(exponent)];
}

uint8_t gfDivide(uint8_t a, uint8_t b) {
    if (a == 0)
        return 0;
    return gfPow(kGf.log[a] + 255 - kGf.log[b]);
}

// Coefficients of (x + a^1)...(x + a^E) from x^0 up; the leading one is 1.
std::array<uint8_t, kMaxBlockEcc + 1> generatorPolynomial(int eccCount) {
    std::array<uint8_t, kMaxBlockEcc + 1> g{};
    g[0] = 1;
    for (int i = 1; i <= eccCount; ++i) {
        const uint8_t root = kGf.antilog[i];
        for (int j = i; j >= 1; --j)
            g[j] = static_cast<uint8_t>(g[j - 1] ^ gfMultiply(g[j], root));
        g[0] = gfMultiply(g[0], root);
    }
    return g;
}

// Evaluates sum of poly[i] * x^i.
uint8_t evaluate(std::span<const uint8_t> poly, uint8_t x) {
    uint8_t acc = 0;
    for (size_t i = poly.size(); i-- > 0;)
        acc = static_cast<uint8_t>(gfMultiply(acc, x) ^ poly[i]);
    return acc;
}

// antilog over two periods, so that a sum of two logarithms indexes it without reduction.
constexpr std::array<uint8_t, 512> makeDoubledAntilog() {
    std::array<uint8_t, 512> t{};
    for (int i = 0; i < 512; ++i)
        t[i] = kGf.antilog[i % 255];
    return t;
}
constexpr std::array<uint8_t, 512> kAntilog2 = makeDoubledAntilog();

// Syndromes S_j = received(a^(j+1)) over buffer positions start..254 by Horner's rule. All
// syndromes advance together, one codeword at a time, so their chains run side by side.
bool computeSyndromes(const std::array<uint8_t, 255>& work, int start, int count,
                      std::span<uint8_t> syndromes) {
    std::array<uint8_t, kMaxBlockEcc> s{};
    std::fill_n(s.begin(), count, work[start]);
    for (int p = start + 1; p < 255; ++p) {
        const uint8_t w = work[p];
        for (int j = 0; j < count; ++j) {
            // log[0] is 255; its product is discarded, as zero times anything is zero.
            const uint8_t product = kAntilog2[kGf.log[s[j]] + j + 1];
            s[j] = static_cast<uint8_t>(w ^ (s[j] != 0 ? product : 0));
        }
    }
    bool clean = true;
    for (int j = 0; j < count; ++j) {
        syndromes[j] = s[j];
        clean = clean && s[j] == 0;
    }
    return clean;
}

int syndromeCount(int n, int blockEcc) {
    if (n == 8 && blockEcc == 5)
        return 4;
    if (n == 12 && blockEcc == 7)
        return 6;
    return blockEcc;
}

}  // namespace

uint8_t gfMultiply(uint8_t a, uint8_t b) {
    if (a == 0 || b == 0)
        return 0;
    return gfPow(kGf.log[a] + kGf.log[b]);
}

BlockArray makeReceivedBlocks(int sizeIndex) {
    const SymbolSize& s = symbolSize(sizeIndex);
    return BlockArray(s.blockCount, s.blockDataCodewords + s.blockEccCodewords);
}

BlockArray makeDataBlocks(int sizeIndex) {
    const SymbolSize& s = symbolSize(sizeIndex);
    return BlockArray(s.blockCount, s.blockDataCodewords);
}

void encodeBlocks(std::span<uint8_t> stream, int sizeIndex) {
    if (!isValidSizeIndex(sizeIndex))
        return;
    const SymbolSize& s = symbolSize(sizeIndex);
    const int dataCount = s.dataCodewords;
    const int blocks = s.blockCount;
    const int ecc = s.eccCodewords / blocks;
    if (stream.size() < static_cast<size_t>(dataCount + s.eccCodewords))
        return;
    const auto g = generatorPolynomial(ecc);
    for (int k = 0; k < blocks; ++k) {
        std::array<uint8_t, kMaxBlockEcc> r{};
        const int count = blockDataCount(sizeIndex, k);
        for (int i = 0; i < count; ++i) {
            const uint8_t f = stream[k + i * blocks] ^ r[0];
            for (int m = 0; m < ecc - 1; ++m)
                r[m] = r[m + 1] ^ gfMultiply(f, g[ecc - 1 - m]);
            r[ecc - 1] = gfMultiply(f, g[0]);
        }
        for (int m = 0; m < ecc; ++m)
            stream[dataCount + k + m * blocks] = r[m];
    }
}

bool splitBlocks(std::span<const uint8_t> stream, BlockArray& blocks, int sizeIndex,
                 DecodeStatus& status, Interleaving interleaving) {
    if (!isValidSizeIndex(sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    const SymbolSize& s = symbolSize(sizeIndex);
    const int total = s.dataCodewords + s.eccCodewords;
    const int b = s.blockCount;
    if (stream.size() < static_cast<size_t>(total) || blocks.rowCount < b ||
        blocks.rowLength < s.blockDataCodewords + s.blockEccCodewords) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    if (sizeIndex == kLargestSquare && interleaving == Interleaving::Legacy) {
        for (int p = 0; p < total; ++p)
            blocks.row(p % b)[p / b] = stream[p];
        return true;
    }
    for (int k = 0; k < b; ++k) {
        auto row = blocks.row(k);
        const int data = blockDataCount(sizeIndex, k);
        for (int i = 0; i < data; ++i)
            row[i] = stream[k + i * b];
        for (int m = 0; m < s.blockEccCodewords; ++m) {
            row[data + m] = stream[s.dataCodewords + k + m * b];
        }
    }
    return true;
}

BlockCorrection correctBlock(std::span<uint8_t> block, int blockData, int blockEcc,
                             std::span<const int32_t> erasures) {
    const int n = blockData + blockEcc;
    if (blockData <= 0 || blockEcc <= 0 || n > 255 || blockEcc > kMaxBlockEcc ||
        block.size() < static_cast<size_t>(n)) {
        return {DecodeStatus::BlockUnprocessable};
    }
    const int start = 255 - n;
    std::array<uint8_t, 255> work{};
    std::copy_n(block.begin(), n, work.begin() + start);
    int errors = 0;

    const int count = syndromeCount(n, blockEcc);
    const auto erased = static_cast<int>(erasures.size());
    int spare = count - erased;
    if (erased > count)
        return {DecodeStatus::BlockUncorrectable};
    std::array<uint8_t, kMaxBlockEcc> syndromes{};
    if (!computeSyndromes(work, start, count, syndromes)) {
        // Berlekamp-Massey: error locator lambda of degree at most count. Erased positions
        // start it as their own locator (block position i stands for a^(n - 1 - i)), so
        // that it finds the errors besides them: 2 errors + erasures up to count.
        std::array<uint8_t, kMaxBlockEcc + 2> lambda{}, prev{}, next{};
        lambda[0] = 1;
        for (const int32_t i : erasures) {
            if (i < 0 || i >= n)
                return {DecodeStatus::BlockUnprocessable};
            const uint8_t x = gfPow(n - 1 - i);
            for (int k = erased; k > 0; --k)
                lambda[k] ^= gfMultiply(x, lambda[k - 1]);
        }
        prev = lambda;
        int length = erased;
        for (int r = erased + 1; r <= count; ++r) {
            uint8_t delta = 0;
            for (int i = 0; i < r; ++i)
                delta ^= gfMultiply(lambda[i], syndromes[r - 1 - i]);
            if (delta == 0) {
                std::copy_backward(prev.begin(), prev.end() - 1, prev.end());
                prev[0] = 0;
                continue;
            }
            next = lambda;
            for (int i = 0; i <= count; ++i)
                next[i + 1] ^= gfMultiply(delta, prev[i]);
            if (2 * length <= r - 1 + erased) {
                length = r + erased - length;
                for (int i = 0; i <= count + 1; ++i)
                    prev[i] = gfDivide(lambda[i], delta);
            } else {
                std::copy_backward(prev.begin(), prev.end() - 1, prev.end());
                prev[0] = 0;
            }
            lambda = next;
        }
        int degree = 0;
        for (int i = count; i > 0; --i) {
            if (lambda[i] != 0) {
                degree = i;
                break;
            }
        }
        spare = count - 2 * (degree - erased) - erased;
        if (degree == 0 || spare < 0)
            return {DecodeStatus::BlockUncorrectable};

        // Chien search over the block's own positions: x = a^-m stands for position 254 - m.
        std::array<int, kMaxBlockEcc> rootPower{};
        int roots = 0;
        const std::span<const uint8_t> lambdaPoly(lambda.data(), degree + 1);
        for (int m = 0; m < n && roots < degree; ++m) {
            if (evaluate(lambdaPoly, gfPow(255 - m)) == 0)
                rootPower[roots++] = m;
        }
        if (roots != degree)
            return {DecodeStatus::BlockUncorrectable};

        // Error evaluator omega = S(x) lambda(x) mod x^count.
        std::array<uint8_t, kMaxBlockEcc> omega{};
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j <= i && j <= degree; ++j)
                omega[i] ^= gfMultiply(syndromes[i - j], lambda[j]);
        }
        const std::span<const uint8_t> omegaPoly(omega.data(), count);

        // Forney, last root first. Corrections land in the whole buffer so the result can be
        // checked; only the data part is copied out.
        const int derivTop = std::min(degree, count - 1) & ~1;
        for (int k = roots - 1; k >= 0; --k) {
            const int m = rootPower[k];
            const uint8_t xInv = gfPow(255 - m);
            uint8_t denominator = 0;
            for (int i = 0; i <= derivTop; i += 2) {
                denominator ^= gfMultiply(lambda[i + 1], gfPow((255 - m) * i));
            }
            if (denominator == 0)
                return {DecodeStatus::BlockUncorrectable};
            const uint8_t numerator = evaluate(omegaPoly, xInv);
            work[254 - m] ^= gfDivide(numerator, denominator);
        }
        // A locator of too high a degree can produce a pattern that does not explain the
        // syndromes; such a block is not a codeword and must not be reported as corrected.
        std::array<uint8_t, kMaxBlockEcc> check{};
        if (!computeSyndromes(work, start, count, check))
            return {DecodeStatus::BlockUncorrectable};
    }
    for (int i = 0; i < n; ++i) {
        errors += block[i] != work[start + i];
        block[i] = work[start + i];
    }
    return {DecodeStatus::Success, errors, spare};
}

DecodeStatus decodeBlock(std::span<const uint8_t> received, std::span<uint8_t> dataOut,
                         int blockData, int blockEcc) {
    const int n = blockData + blockEcc;
    if (blockData <= 0 || blockEcc <= 0 || n > 255 || blockEcc > kMaxBlockEcc ||
        received.size() < static_cast<size_t>(n) ||
        dataOut.size() < static_cast<size_t>(blockData)) {
        return DecodeStatus::BlockUnprocessable;
    }
    std::array<uint8_t, 255> block{};
    std::copy_n(received.begin(), n, block.begin());
    const DecodeStatus status = correctBlock(block, blockData, blockEcc).status;
    if (status == DecodeStatus::Success)
        std::copy_n(block.begin(), blockData, dataOut.begin());
    return status;
}

int correctableErrors(int blockData, int blockEcc) {
    return syndromeCount(blockData + blockEcc, blockEcc) / 2;
}

bool decodeBlocks(BlockArray& blocks, BlockArray& dataBlocks, int sizeIndex, DecodeStatus& status) {
    if (!isValidSizeIndex(sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    const SymbolSize& s = symbolSize(sizeIndex);
    for (int k = 0; k < s.blockCount; ++k) {
        if (k >= blocks.rowCount || k >= dataBlocks.rowCount) {
            status = DecodeStatus::BlockUnprocessable;
            return false;
        }
        const DecodeStatus r = decodeBlock(blocks.row(k), dataBlocks.row(k),
                                           blockDataCount(sizeIndex, k), s.blockEccCodewords);
        if (r != DecodeStatus::Success) {
            status = r;
            return false;
        }
    }
    for (int k = 0; k < s.blockCount; ++k) {
        auto row = blocks.row(k);
        std::fill(row.begin(), row.end(), 0);
        const auto data = dataBlocks.row(k);
        std::copy(data.begin(), data.end(), row.begin());
    }
    return true;
}

bool joinData(const BlockArray& dataBlocks, std::span<uint8_t> data, int sizeIndex,
              DecodeStatus& status) {
    if (!isValidSizeIndex(sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    const SymbolSize& s = symbolSize(sizeIndex);
    const int b = s.blockCount;
    if (data.size() < s.dataCodewords || dataBlocks.rowCount < b) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    for (int k = 0; k < b; ++k) {
        const auto row = dataBlocks.row(k);
        const int count = blockDataCount(sizeIndex, k);
        for (int i = 0; i < count; ++i)
            data[k + i * b] = row[i];
    }
    return true;
}

}  // namespace dm
