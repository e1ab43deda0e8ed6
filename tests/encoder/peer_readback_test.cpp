#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/peer_readers.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

// A message that needs exactly the capacity of square sizeIndex, mixing digit pairs,
// letters, CR LF and bytes above 127 where the capacity allows.
std::string messageFilling(int sizeIndex) {
    const int capacity = symbolSize(sizeIndex).dataCodewords;
    std::string base = "Data Matrix \r\n\xD6\xD0\xCE\xC4 0123456789 ";
    std::string out;
    int used = 0;
    for (size_t i = 0; used < capacity; i = (i + 1) % base.size()) {
        const auto b = static_cast<unsigned char>(base[i]);
        const int cost = b > 127 ? 2 : 1;
        if (used + cost > capacity) {
            out += 'x';
            ++used;
            continue;
        }
        out += base[i];
        used += cost;
    }
    return out;
}

struct PeerCase {
    std::string name;
    std::string message;
};

// ctest and failures show the case's name.
void PrintTo(const PeerCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<PeerCase> peerCases() {
    std::vector<PeerCase> cases;
    for (int i = 0; i < kSquareCount; ++i) {
        const auto& s = symbolSize(i);
        cases.push_back(
            {std::to_string(s.symbolRows) + "x" + std::to_string(s.symbolCols), messageFilling(i)});
    }
    cases.push_back({"digits", "12345678901234567890"});
    cases.push_back({"crlf", "first line\r\nsecond line"});
    cases.push_back({"high bytes", "\x80\x81\xFE\xFF latin \xE9\xE8"});
    cases.push_back(
        {"gbk chinese", "\xCA\xFD\xBE\xDD\xBE\xD8\xD5\xF3 \xB2\xE2\xCA\xD4"});  // 数据矩阵 测试
    return cases;
}

class PeerReadback : public ::testing::TestWithParam<PeerCase> {};

TEST_P(PeerReadback, ZxingAndLibdmtxReadOurJpegBack) {
    const PeerCase& c = GetParam();
    const fs::path path =
        fs::temp_directory_path() / ("dm-peer-" + std::to_string(getpid()) + ".jpg");
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(c.message.data()),
                                         c.message.size());
    const int side = GenerateSymbolFile(bytes, path.string(), 4, 3);
    ASSERT_GT(side, 0);
    const auto picture = test::loadJpegGray(path.string());
    fs::remove(path);
    ASSERT_TRUE(picture);
    // zxing-cpp 1.4 reads only the older interleaving of 144x144, so libdmtx alone checks it.
    if (side != 144) {
        EXPECT_EQ(test::readWithZxing(*picture), c.message) << "zxing-cpp, " << c.name;
    }
    EXPECT_EQ(test::readWithDmtx(*picture, 20000), c.message) << "libdmtx, " << c.name;
}

INSTANTIATE_TEST_SUITE_P(AllSquaresAndContent, PeerReadback, ::testing::ValuesIn(peerCases()),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& ch : n) {
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             }
                             return n;
                         });

}  // namespace
}  // namespace dm
