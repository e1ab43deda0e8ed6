// Module matrices written by peer encoders, read back through extraction, correction and data
// decodation.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"
#include "tests/support/decoding.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/printers.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::bytesOf;
using test::encodeWithDmtx;
using test::encodeWithZint;
using test::PeerScheme;
using test::PeerSymbol;

// The peer's symbol read back to the message, or what went wrong.
std::string misreading(const std::optional<PeerSymbol>& symbol, const std::string& message) {
    if (!symbol)
        return "the peer did not write it";
    const test::MatrixReading r = test::readMatrix(symbol->matrix, symbol->sizeIndex);
    if (!r.ok)
        return "status " + ::testing::PrintToString(r.status);
    return r.text == message ? "" : "read " + ::testing::PrintToString(r.text);
}

// Alphabet each scheme encodes natively (a few characters of other sets where the scheme can
// shift to them), in the order of PeerScheme.
const std::string kAlphabets[] = {"Data Matrix 2026-12-07 #42 \xC4\xE3\xBA\xC3 99",
                                  "ABC XYZ 0123456789 QRSTUV a-b!\x7F\xC9Z",
                                  "the quick brown fox 0123 JUMPS.\x7F\xE9z",
                                  "ABC*123>XYZ 456\r7890",
                                  "EDI:G1?ABC DEF<123>=@",
                                  std::string("\x00\x01\x7F\x80\xFE\xFF bin", 10) + "ary"};

std::string alphabetOf(PeerScheme scheme) {
    return kAlphabets[static_cast<int>(scheme)];
}

constexpr PeerScheme kSchemes[] = {PeerScheme::Ascii, PeerScheme::C40,     PeerScheme::Text,
                                   PeerScheme::X12,   PeerScheme::Edifact, PeerScheme::Base256};

// Every prefix length of each scheme's alphabet, so the scheme's last segment ends on a pair,
// triple or quadruple boundary as well as inside one, with and without pads after it.
TEST(PeerSymbols, LibdmtxEverySchemeEveryMessageLength) {
    int decoded = 0;
    for (const PeerScheme scheme : kSchemes) {
        const std::string alphabet = alphabetOf(scheme);
        for (size_t length = 1; length <= alphabet.size(); ++length) {
            const std::string message = alphabet.substr(0, length);
            const auto symbol = encodeWithDmtx(bytesOf(message), scheme);
            if (!symbol)
                continue;  // libdmtx does not take every message in every scheme
            EXPECT_EQ(misreading(symbol, message), "")
                << test::schemeName(scheme) << " " << ::testing::PrintToString(message) << " size "
                << symbol->sizeIndex;
            ++decoded;
        }
    }
    EXPECT_GT(decoded, 100);
}

// Multi-block sizes, filled well beyond their first block, in every scheme.
TEST(PeerSymbols, LibdmtxLargeAndMultiBlockSizes) {
    for (const int sizeIndex : {9, 14, 15, 18, 20, 22, 23, 25, 29}) {
        for (const PeerScheme scheme : kSchemes) {
            const std::string alphabet = alphabetOf(scheme);
            std::string message;
            // About one codeword per character in every scheme; fill to roughly 60 %.
            const size_t target = symbolSize(sizeIndex).dataCodewords * 6 / 10;
            while (message.size() < target)
                message += alphabet;
            message.resize(target);
            EXPECT_EQ(misreading(encodeWithDmtx(bytesOf(message), scheme, sizeIndex), message), "")
                << test::schemeName(scheme) << " size " << sizeIndex << " length " << target;
        }
    }
}

TEST(PeerSymbols, ZintOptimiserMixedMessagesAndSizes) {
    std::string binary;
    for (int b = 0; b < 256; ++b)
        binary += static_cast<char>(b);
    const std::vector<std::string> messages = {
        "A",
        "1234567890123456789012345",
        "HELLO WORLD HELLO WORLD 123",
        "hello world, hello world, hello world",
        "ABC*DEF>GHI*JKL>MNO 012\r345",
        "ISA*00*          *00*          *ZZ*SENDER",
        "Mixed Case 123 and UPPER CASE RUNS 4567 lower runs",
        std::string("\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7 \xB2\xE2\xCA\xD4"),
        binary,
        std::string(1500, 'Z'),
        std::string(3000, '7'),
    };
    for (const std::string& message : messages) {
        EXPECT_EQ(misreading(encodeWithZint(bytesOf(message)), message), "")
            << ::testing::PrintToString(message.substr(0, 40)) << " length " << message.size();
    }
    // Every square and rectangle zint can be asked for.
    for (int option = 1; option <= 30; ++option) {
        test::ZintOptions options;
        options.size = option;
        options.squareOnly = false;
        EXPECT_EQ(misreading(encodeWithZint(bytesOf("Z42"), options), "Z42"), "")
            << "zint size option " << option;
    }
}

TEST(PeerSymbols, ZintStructuredAppendHeaderIsRecorded) {
    for (const auto& [index, count] : {std::pair{1, 2}, {2, 3}, {5, 5}, {16, 16}}) {
        const test::ZintOptions options{
            .appendIndex = index, .appendCount = count, .appendId = "42001"};
        const std::string message = "part " + std::to_string(index) + " of many";
        const auto symbol = encodeWithZint(bytesOf(message), options);
        SCOPED_TRACE("symbol " + std::to_string(index) + " of " + std::to_string(count));
        ASSERT_TRUE(symbol.has_value());
        const test::MatrixReading r = test::readMatrix(symbol->matrix, symbol->sizeIndex);
        ASSERT_TRUE(r.ok) << ::testing::PrintToString(r.status);
        EXPECT_EQ(r.text, message);
        EXPECT_EQ(r.state.appendPosition, index);
        EXPECT_EQ(r.state.appendTotal, count % 16);
        // zint writes the id 42001 as the two file identification bytes 42 and 1.
        EXPECT_EQ(r.state.fileId1, 42);
        EXPECT_EQ(r.state.fileId2, 1);
    }
}

// Corrupts `errors` distinct codewords of every block.
void corrupt(std::vector<uint8_t>& stream, int sizeIndex, int errors, std::mt19937& rng) {
    for (int k = 0; k < symbolSize(sizeIndex).blockCount; ++k)
        test::corruptBlock(stream, sizeIndex, k, errors, rng);
}

TEST(PeerSymbols, CodewordErrorsAreCorrectedUpToCapacityAndReportedBeyond) {
    std::mt19937 rng(2026);
    for (const int sizeIndex : {0, 1, 5, 14, 20, 23, 24, 25}) {
        std::string message;
        while (message.size() < symbolSize(sizeIndex).dataCodewords)
            message += "ERR0R ";
        message.resize(symbolSize(sizeIndex).dataCodewords / 2 + 1);
        const auto symbol = encodeWithDmtx(bytesOf(message), PeerScheme::Ascii, sizeIndex);
        ASSERT_TRUE(symbol.has_value());
        const std::vector<uint8_t> clean = test::codewordsOf(symbol->matrix, symbol->sizeIndex);
        ASSERT_FALSE(clean.empty());
        const int cap = test::blockCapacity(sizeIndex);
        for (int trial = 0; trial < 3; ++trial) {
            SCOPED_TRACE("size " + std::to_string(sizeIndex) + " trial " + std::to_string(trial));
            std::vector<uint8_t> stream = clean;
            corrupt(stream, sizeIndex, cap, rng);
            const auto fixed = test::readMatrix(placeCodewords(stream, sizeIndex), sizeIndex);
            EXPECT_TRUE(fixed.ok) << cap << " errors per block, "
                                  << ::testing::PrintToString(fixed.status);
            EXPECT_EQ(fixed.text, message);

            stream = clean;
            corrupt(stream, sizeIndex, cap + 2, rng);
            const auto broken = test::readMatrix(placeCodewords(stream, sizeIndex), sizeIndex);
            EXPECT_FALSE(broken.ok);
            EXPECT_EQ(broken.status, DecodeStatus::BlockUncorrectable);
        }
    }
}

// Some writers deal the whole 144x144 stream out by position (p to block p mod 10); such a
// symbol is uncorrectable under the standard interleaving and is read with the legacy one.
TEST(PeerSymbols, LegacyInterleavedLargestSymbolIsReadAfterRetry) {
    std::string message;
    for (int i = 0; message.size() < 1400; ++i)
        message += "row " + std::to_string(i) + "; ";
    const auto symbol = encodeWithDmtx(bytesOf(message), PeerScheme::Ascii, kLargestSquare);
    ASSERT_EQ(misreading(symbol, message), "");

    const std::vector<uint8_t> compliant = test::codewordsOf(symbol->matrix, symbol->sizeIndex);
    BlockArray blocks = makeReceivedBlocks(kLargestSquare);
    DecodeStatus status = DecodeStatus::Success;
    ASSERT_TRUE(splitBlocks(compliant, blocks, kLargestSquare, status));
    std::vector<uint8_t> legacy(compliant.size());
    for (size_t p = 0; p < legacy.size(); ++p)
        legacy[p] = blocks.row(p % 10)[p / 10];
    ASSERT_NE(legacy, compliant);

    auto r = test::readMatrix(placeCodewords(legacy, kLargestSquare), kLargestSquare);
    EXPECT_TRUE(r.ok) << ::testing::PrintToString(r.status);
    EXPECT_EQ(r.text, message);

    // zint writes its 144x144 symbols this way.
    const std::string digits(3000, '3');
    const auto zint = encodeWithZint(bytesOf(digits));
    ASSERT_TRUE(zint.has_value());
    ASSERT_EQ(zint->sizeIndex, kLargestSquare);
    EXPECT_EQ(misreading(zint, digits), "");

    // With a few errors per block as well.
    std::mt19937 rng(7);
    for (int e = 0; e < 40; ++e)
        legacy[rng() % legacy.size()] ^= 0x5A;
    r = test::readMatrix(placeCodewords(legacy, kLargestSquare), kLargestSquare);
    EXPECT_TRUE(r.ok) << ::testing::PrintToString(r.status);
    EXPECT_EQ(r.text, message);
}

}  // namespace
}  // namespace dm
