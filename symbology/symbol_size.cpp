#include "symbology/symbol_size.h"

namespace dm {

int findSize(int columnCount, int rowCount) {
    if (columnCount > rowCount) {
        for (int i = kSquareCount; i < kSizeCount; ++i) {
            if (kSymbolSizes[i].symbolCols == columnCount &&
                kSymbolSizes[i].symbolRows == rowCount) {
                return i;
            }
        }
        return -1;
    }
    if (columnCount == rowCount) {
        for (int i = 0; i < kSquareCount; ++i) {
            if (kSymbolSizes[i].symbolRows == rowCount) {
                return i;
            }
        }
    }
    return -1;
}

RegionLayout regionLayout(int sizeIndex) {
    if (sizeIndex <= 8)
        return RegionLayout::SingleSquare;
    if (sizeIndex <= 14)
        return RegionLayout::Square2x2;
    if (sizeIndex <= 20)
        return RegionLayout::Square4x4;
    if (sizeIndex <= 23)
        return RegionLayout::Square6x6;
    if (sizeIndex == 24 || sizeIndex == 26)
        return RegionLayout::SingleRectangle;
    return horizontalRegions(symbolSize(sizeIndex)) == 2 ? RegionLayout::DoubleRectangle
                                                         : RegionLayout::RectangleRow;
}

}  // namespace dm
