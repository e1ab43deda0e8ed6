// Multi-region symbols sampled region by region, each region through a map of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/frame_search/perspective_grid.h"
#include "detection/frame_search/region_grid.h"
#include "encoder/symbol_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/decoding.h"
#include "tests/support/gray_frame.h"
#include "tests/support/peer_encoders.h"

namespace dm {
namespace {

// A square of the size filled with letters, as a label the synthesiser can draw.
test::LabelSymbol filledSquare(int sizeIndex) {
    const SymbolSize& size = symbolSize(sizeIndex);
    std::string text;
    for (int k = 0; k + 1 < size.dataCodewords; ++k)
        text += static_cast<char>('A' + (k * 7 + sizeIndex) % 26);
    SymbolOptions options;
    options.sizeIndex = sizeIndex;
    options.scheme = Scheme::Ascii;
    const SymbolSeries series = encodeSymbols(test::bytesOf(text), options);
    const EncodedSymbol& symbol = series.symbols.at(0);
    return {symbol.moduleMatrix, symbol.rows, symbol.cols, text};
}

// Modules split at the levels' own threshold that differ from the symbol's.
int wrongModules(const std::vector<uint8_t>& levels, const std::vector<uint8_t>& truth,
                 std::vector<uint8_t>& matrix) {
    const uint8_t split = splitLevels(levels);
    matrix.resize(levels.size());
    int wrong = 0;
    for (size_t i = 0; i < levels.size(); ++i) {
        matrix[i] = levels[i] <= split;
        wrong += matrix[i] != truth[i];
    }
    return wrong;
}

// An 80 x 80 label wrapped around a cylinder across its rows: the map through its true outer
// corners misplaces the modules of the bulging middle by a module or more; each region's own
// sides place them all.
TEST(RegionGrid, FollowsARegionGridThatOneMapCannot) {
    constexpr int kSize = 17;  // 80 x 80, 4 x 4 regions
    const test::LabelSymbol label = filledSquare(kSize);
    for (const int index : {3, 4}) {
        const auto frame = test::tierFrameOf(test::Tier::Cylinder, 1, index, label, kSize);
        ASSERT_TRUE(frame.has_value());
        const test::GrayFrame view(frame->dib, false);
        BinaryFrame binary;
        ASSERT_TRUE(thresholdLocally(view.image, binary));
        const auto map = symbolToImage(frame->corners, label.cols, label.rows);
        ASSERT_TRUE(map.has_value());
        std::vector<uint8_t> levels, matrix;
        sampleModules(binary, *map, label.rows, label.cols, levels);
        EXPECT_GT(wrongModules(levels, frame->matrix, matrix), 200) << frame->description;
        ASSERT_TRUE(sampleRegionGrids(binary, *map, kSize, levels));
        EXPECT_LE(wrongModules(levels, frame->matrix, matrix), 5) << frame->description;
        const test::MatrixReading reading = test::readMatrix(matrix, kSize);
        EXPECT_TRUE(reading.ok) << frame->description;
        EXPECT_EQ(reading.text, label.message);
    }
}

// Sizes of one region have no region grid of their own to follow.
TEST(RegionGrid, LeavesSingleRegionSizesToTheOneMap) {
    const test::TierFrame frame = test::tierFrame(test::Tier::Camera, 1, 0);
    const test::GrayFrame view(frame.dib, false);
    BinaryFrame binary;
    ASSERT_TRUE(thresholdLocally(view.image, binary));
    const auto map = symbolToImage(frame.corners, 10, 10);
    ASSERT_TRUE(map.has_value());
    std::vector<uint8_t> levels;
    for (const int sizeIndex : {0, 8, kSquareCount /* 8 x 18 */})
        EXPECT_FALSE(sampleRegionGrids(binary, *map, sizeIndex, levels)) << sizeIndex;
}

}  // namespace
}  // namespace dm
