#include "tests/support/printers.h"

namespace dm {

void PrintTo(DecodeStatus status, std::ostream* os) {
    *os << toInt(status) << " (" << statusMeaning(status) << ")";
}

void PrintTo(SearchResult result, std::ostream* os) {
    constexpr const char* kNames[] = {"NothingFound", "FirstArm", "FinderFound"};
    const auto value = static_cast<int32_t>(result);
    *os << (value >= 0 && value < 3 ? kNames[value] : "SearchResult") << " (" << value << ")";
}

void PrintTo(const Point& point, std::ostream* os) {
    *os << "(" << point.x << ", " << point.y << ")";
}

void PrintTo(const Segment& segment, std::ostream* os) {
    PrintTo(segment.p0, os);
    *os << "-";
    PrintTo(segment.p1, os);
    *os << " at " << segment.angle << " degrees, " << segment.length << " long";
}

namespace test {

std::string matrixText(std::span<const uint8_t> matrix, int rows, int cols) {
    std::string text;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            text += i < matrix.size() ? (matrix[i] ? '#' : '.') : '?';
        }
        text += '\n';
    }
    return text;
}

}  // namespace test
}  // namespace dm
