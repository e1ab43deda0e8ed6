#pragma once

// What a failing test prints for the codec's values: names and coordinates, not bytes.

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "detection/finder_pass/line_geometry.h"
#include "detection/shared/decoder_records.h"
#include "symbology/decode_status.h"

namespace dm {

void PrintTo(DecodeStatus status, std::ostream* os);  // "9 (no finder found)"
void PrintTo(SearchResult result, std::ostream* os);
void PrintTo(const Point& point, std::ostream* os);      // "(12, 34)"
void PrintTo(const Segment& segment, std::ostream* os);  // "(1, 2)-(3, 4) at 90 degrees, 8 long"

namespace test {

// A module matrix as text, one line per row from row 0, '#' dark and '.' light, so two
// matrices compare line by line.
std::string matrixText(std::span<const uint8_t> matrix, int rows, int cols);

}  // namespace test
}  // namespace dm
