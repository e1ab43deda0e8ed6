#include "tests/support/symbol_builders.h"

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

}  // namespace dm::test
