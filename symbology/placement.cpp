#include "symbology/placement.h"

#include <array>
#include <utility>

#include "symbology/symbol_size.h"

namespace dm {
namespace {

// The ECC 200 placement sweep over an R x N mapping matrix. For every module it calls
// put(row, col, codeword, bit) with codeword counted from 1 and bit 1 the most significant;
// filled(row, col) tells whether a position already holds a bit. Returns the codewords placed.
template <typename Put, typename Filled>
int sweep(int R, int N, Put&& put, Filled&& filled) {
    auto module = [&](int row, int col, int k, int bit) {
        if (row < 0) {
            row += R;
            col += 4 - ((R + 4) % 8);
        }
        if (col < 0) {
            col += N;
            row += 4 - ((N + 4) % 8);
            // Mappings whose width is 4 more than a multiple of 8 and whose height is a
            // multiple of 8 (the extension sizes 26x40 and 26x48) carry this past the last row:
            // it continues at the top.
            if (row >= R)
                row -= R;
        }
        put(row, col, k, bit);
    };
    auto standard = [&](int row, int col, int k) {
        module(row - 2, col - 2, k, 1);
        module(row - 2, col - 1, k, 2);
        module(row - 1, col - 2, k, 3);
        module(row - 1, col - 1, k, 4);
        module(row - 1, col, k, 5);
        module(row, col - 2, k, 6);
        module(row, col - 1, k, 7);
        module(row, col, k, 8);
    };
    using Cell = std::pair<int, int>;
    auto corner = [&](int k, const std::array<Cell, 8>& cells) {
        for (int b = 0; b < 8; ++b)
            module(cells[b].first, cells[b].second, k, b + 1);
    };
    int k = 1;
    int row = 4;
    int col = 0;
    do {
        if (row == R && col == 0) {
            corner(k++, {{{R - 1, 0},
                          {R - 1, 1},
                          {R - 1, 2},
                          {0, N - 2},
                          {0, N - 1},
                          {1, N - 1},
                          {2, N - 1},
                          {3, N - 1}}});
        }
        if (row == R - 2 && col == 0 && N % 4 != 0) {
            corner(k++, {{{R - 3, 0},
                          {R - 2, 0},
                          {R - 1, 0},
                          {0, N - 4},
                          {0, N - 3},
                          {0, N - 2},
                          {0, N - 1},
                          {1, N - 1}}});
        }
        if (row == R - 2 && col == 0 && N % 8 == 4) {
            corner(k++, {{{R - 3, 0},
                          {R - 2, 0},
                          {R - 1, 0},
                          {0, N - 2},
                          {0, N - 1},
                          {1, N - 1},
                          {2, N - 1},
                          {3, N - 1}}});
        }
        if (row == R + 4 && col == 2 && N % 8 == 0) {
            corner(k++, {{{R - 1, 0},
                          {R - 1, N - 1},
                          {0, N - 3},
                          {0, N - 2},
                          {0, N - 1},
                          {1, N - 3},
                          {1, N - 2},
                          {1, N - 1}}});
        }
        do {
            if (row < R && col >= 0 && !filled(row, col))
                standard(row, col, k++);
            row -= 2;
            col += 2;
        } while (row >= 0 && col < N);
        row += 1;
        col += 3;
        do {
            if (row >= 0 && col < N && !filled(row, col))
                standard(row, col, k++);
            row += 2;
            col -= 2;
        } while (row < R && col >= 0);
        row += 3;
        col += 1;
    } while (row < R || col < N);
    return k - 1;
}

// Whether symbol position (r, c) belongs to a region frame (finder, timing or alignment bar).
std::vector<uint8_t> frameMask(const SymbolSize& s) {
    const int rows = s.symbolRows;
    const int cols = s.symbolCols;
    const int h = rows / verticalRegions(s);
    const int w = cols / horizontalRegions(s);
    std::vector<uint8_t> mask(static_cast<size_t>(rows) * cols, 0);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const int rr = r % h;
            const int cc = c % w;
            mask[r * cols + c] = rr == 0 || rr == h - 1 || cc == 0 || cc == w - 1;
        }
    }
    return mask;
}

}  // namespace

std::vector<uint8_t> placeCodewords(std::span<const uint8_t> stream, int sizeIndex) {
    if (!isValidSizeIndex(sizeIndex))
        return {};
    const SymbolSize& s = symbolSize(sizeIndex);
    const int R = s.mappingRows;
    const int N = s.mappingCols;
    // The sweep's corner patterns rely on a mapping of at least 6 x 6, as every size has.
    if (stream.size() < static_cast<size_t>(s.dataCodewords + s.eccCodewords) || R < 6 || N < 6)
        return {};

    // 0 = not yet filled, 1 = light bit, 2 = dark bit.
    std::vector<uint8_t> mapping(static_cast<size_t>(R) * N, 0);
    sweep(
        R, N,
        [&](int row, int col, int k, int bit) {
            mapping[row * N + col] = (stream[k - 1] >> (8 - bit)) & 1 ? 2 : 1;
        },
        [&](int row, int col) { return mapping[row * N + col] != 0; });
    if (mapping[R * N - 1] == 0) {
        mapping[(R - 1) * N + N - 1] = 2;
        mapping[(R - 2) * N + N - 2] = 2;
        mapping[(R - 1) * N + N - 2] = 1;
        mapping[(R - 2) * N + N - 1] = 1;
    }
    for (auto& m : mapping)
        m = m ? m - 1 : 0;

    const int V = verticalRegions(s);
    const int H = horizontalRegions(s);
    const int h = s.symbolRows / V;
    const int w = s.symbolCols / H;
    std::vector<uint8_t> symbol(static_cast<size_t>(s.symbolRows) * s.symbolCols, 0);
    for (int i = 0; i < V; ++i) {
        for (int j = 0; j < H; ++j) {
            const int r0 = i * h;
            const int c0 = j * w;
            for (int c = 0; c < w; ++c) {
                symbol[r0 * s.symbolCols + c0 + c] = c % 2 == 0;   // top: alternating
                symbol[(r0 + h - 1) * s.symbolCols + c0 + c] = 1;  // bottom: solid
            }
            for (int r = 0; r < h; ++r) {
                symbol[(r0 + r) * s.symbolCols + c0] = 1;              // left: solid
                symbol[(r0 + r) * s.symbolCols + c0 + w - 1] = r % 2;  // right: alternating
            }
            for (int r = 1; r <= h - 2; ++r) {
                for (int c = 1; c <= w - 2; ++c) {
                    symbol[(r0 + r) * s.symbolCols + c0 + c] =
                        mapping[(i * (h - 2) + r - 1) * N + j * (w - 2) + c - 1];
                }
            }
        }
    }
    return symbol;
}

std::vector<int32_t> moduleBits(int sizeIndex) {
    if (!isValidSizeIndex(sizeIndex))
        return {};
    const SymbolSize& s = symbolSize(sizeIndex);
    const int R = s.mappingRows;
    const int N = s.mappingCols;
    // Stream bit per mapping position, -1 where no bit goes.
    std::vector<int32_t> map(static_cast<size_t>(R) * N, -1);
    sweep(
        R, N, [&](int row, int col, int k, int bit) { map[row * N + col] = (k - 1) * 8 + bit - 1; },
        [&](int row, int col) { return map[row * N + col] >= 0; });

    // The unmasked modules in row-major order form the mapping matrix.
    const std::vector<uint8_t> mask = frameMask(s);
    std::vector<int32_t> bits(mask.size(), -1);
    size_t next = 0;
    for (size_t i = 0; i < mask.size(); ++i) {
        if (!mask[i])
            bits[i] = map[next++];
    }
    return bits;
}

bool extractCodewords(std::span<const uint8_t> moduleMatrix, int sizeIndex,
                      std::span<uint8_t> codewords, DecodeStatus& status) {
    if (moduleMatrix.empty() || codewords.empty()) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    if (!isValidSizeIndex(sizeIndex)) {
        status = DecodeStatus::SizeIndexOutOfRange;
        return false;
    }
    const SymbolSize& s = symbolSize(sizeIndex);
    const size_t moduleCount = static_cast<size_t>(s.symbolRows) * s.symbolCols;
    const int total = s.dataCodewords + s.eccCodewords;
    if (moduleMatrix.size() < moduleCount || codewords.size() < static_cast<size_t>(total)) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    const std::vector<int32_t> map = moduleBits(sizeIndex);
    std::vector<uint8_t> bits(static_cast<size_t>(s.mappingRows) * s.mappingCols, 0);
    for (size_t i = 0; i < moduleCount; ++i) {
        if (map[i] >= 0 && map[i] < static_cast<int32_t>(bits.size()))
            bits[map[i]] = moduleMatrix[i];
    }
    for (int j = 0; j < total; ++j) {
        uint8_t v = 0;
        for (int t = 0; t < 8; ++t)
            v = static_cast<uint8_t>((v << 1) | (bits[8 * j + t] == 1));
        codewords[j] = v;
    }
    return true;
}

bool looksLikeASymbol(std::span<const uint8_t> matrix, int sizeIndex) {
    constexpr double kLeastBorderShare = 0.75;
    constexpr double kLeastDarkShare = 0.2;
    if (!isValidSizeIndex(sizeIndex))
        return false;
    const SymbolSize& size = symbolSize(sizeIndex);
    if (matrix.size() < static_cast<size_t>(size.symbolRows) * size.symbolCols)
        return false;
    const int32_t rows = size.symbolRows;
    const int32_t cols = size.symbolCols;
    auto at = [&](int32_t r, int32_t c) { return matrix[static_cast<size_t>(r) * cols + c] != 0; };
    int32_t right = 0;
    for (int32_t c = 0; c < cols; ++c)
        right += (at(0, c) == (c % 2 == 0)) + at(rows - 1, c);
    for (int32_t r = 0; r < rows; ++r)
        right += at(r, 0) + (at(r, cols - 1) == ((rows - 1 - r) % 2 == 0));
    int32_t dark = 0;
    for (const uint8_t m : matrix)
        dark += m != 0;
    const double darkShare = static_cast<double>(dark) / static_cast<double>(matrix.size());
    return right >= kLeastBorderShare * 2 * (rows + cols) && darkShare >= kLeastDarkShare &&
           darkShare <= 1 - kLeastDarkShare;
}

}  // namespace dm
