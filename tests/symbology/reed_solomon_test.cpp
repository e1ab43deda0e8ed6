#include "symbology/reed_solomon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

#include "symbology/codeword_correction.h"
#include "symbology/symbol_size.h"
#include "tests/support/printers.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

// A full codeword stream of random data with its error correction.
std::vector<uint8_t> randomStream(int sizeIndex, std::mt19937& rng) {
    const SymbolSize& s = symbolSize(sizeIndex);
    std::vector<uint8_t> stream(s.dataCodewords + s.eccCodewords, 0);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < s.dataCodewords; ++i)
        stream[i] = static_cast<uint8_t>(byte(rng));
    encodeBlocks(stream, sizeIndex);
    return stream;
}

// Runs split, block decoding and join; returns the data codewords or the failing status.
std::pair<DecodeStatus, std::vector<uint8_t>> decodeStream(
    const std::vector<uint8_t>& stream, int sizeIndex,
    Interleaving interleaving = Interleaving::Compliant) {
    DecodeStatus status = DecodeStatus::Success;
    BlockArray blocks = makeReceivedBlocks(sizeIndex);
    BlockArray data = makeDataBlocks(sizeIndex);
    std::vector<uint8_t> out(symbolSize(sizeIndex).dataCodewords);
    if (!splitBlocks(stream, blocks, sizeIndex, status, interleaving) ||
        !decodeBlocks(blocks, data, sizeIndex, status) || !joinData(data, out, sizeIndex, status)) {
        return {status, {}};
    }
    return {DecodeStatus::Success, out};
}

using test::corruptBlock;

TEST(GaloisField, MultiplicationFollowsThePrimitivePolynomial) {
    EXPECT_EQ(gfMultiply(0, 77), 0);
    EXPECT_EQ(gfMultiply(128, 2), 45);  // x^8 reduced by 0x12D
    EXPECT_EQ(gfMultiply(1, 150), 150);
    EXPECT_EQ(gfMultiply(3, 3), 5);
    for (int a = 1; a < 256; ++a) {
        // Every non-zero element has an inverse.
        int inverses = 0;
        for (int b = 1; b < 256; ++b)
            inverses += gfMultiply(static_cast<uint8_t>(a), static_cast<uint8_t>(b)) == 1;
        ASSERT_EQ(inverses, 1) << a;
    }
    EXPECT_EQ(reduceExponent(254), 254);
    EXPECT_EQ(reduceExponent(255), 0);
    EXPECT_EQ(reduceExponent(600), 90);
}

TEST(ReedSolomonEncoding, PublishedTenByTenVector) {
    std::vector<uint8_t> stream = {142, 164, 186, 0, 0, 0, 0, 0};
    encodeBlocks(stream, 0);
    EXPECT_EQ(std::vector<uint8_t>(stream.begin() + 3, stream.end()),
              (std::vector<uint8_t>{114, 25, 5, 88, 102}));
}

TEST(ReedSolomonDecoding, CleanStreamsOfEverySizeRoundTrip) {
    std::mt19937 rng(7);
    for (int i = 0; i < kSizeCount; ++i) {
        const auto stream = randomStream(i, rng);
        const auto [status, data] = decodeStream(stream, i);
        ASSERT_EQ(status, DecodeStatus::Success) << "sizeIndex " << i;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), stream.begin())) << "sizeIndex " << i;
    }
}

TEST(ReedSolomonDecoding, CorrectsUpToCapacityInEveryBlockOfEverySize) {
    std::mt19937 rng(11);
    for (int i = 0; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        const int capacity = test::blockCapacity(i);
        for (int trial = 0; trial < 3; ++trial) {
            const auto original = randomStream(i, rng);
            auto stream = original;
            for (int k = 0; k < s.blockCount; ++k)
                corruptBlock(stream, i, k, capacity, rng);
            const auto [status, data] = decodeStream(stream, i);
            ASSERT_EQ(status, DecodeStatus::Success) << "sizeIndex " << i << " trial " << trial;
            EXPECT_TRUE(std::equal(data.begin(), data.end(), original.begin()))
                << "sizeIndex " << i;
        }
    }
}

TEST(ReedSolomonDecoding, RefusesBeyondCapacity) {
    std::mt19937 rng(13);
    // 10x10 corrects 2; 144x144 blocks correct 31 of their 62 ECC codewords.
    for (const auto& [sizeIndex, errors] : {std::pair{0, 3}, {23, 32}, {8, 15}, {24, 4}}) {
        int refused = 0;
        constexpr int kTrials = 20;
        for (int trial = 0; trial < kTrials; ++trial) {
            auto stream = randomStream(sizeIndex, rng);
            corruptBlock(stream, sizeIndex, 0, errors, rng);
            const auto [status, data] = decodeStream(stream, sizeIndex);
            refused += status == DecodeStatus::BlockUncorrectable;
        }
        EXPECT_EQ(refused, kTrials) << "sizeIndex " << sizeIndex << " with " << errors << " errors";
    }
}

// Erasures cost one syndrome where an error costs two: every split of the syndromes into errors
// and erasures corrects, in blocks of every shape, and says how many syndromes are left.
TEST(ReedSolomonDecoding, CorrectsErasuresAndErrorsUpToTheSyndromes) {
    std::mt19937 rng(17);
    for (const int sizeIndex : {0, 1, 5, 9, 14, 23, 24, 29}) {
        const SymbolSize& s = symbolSize(sizeIndex);
        const int data = blockDataCount(sizeIndex, 0);
        const int n = data + s.blockEccCodewords;
        const int syndromes = 2 * correctableErrors(data, s.blockEccCodewords);
        for (int erased = 1; erased <= syndromes; erased += std::max(1, syndromes / 6)) {
            const int errors = (syndromes - erased) / 2;
            auto full = randomStream(sizeIndex, rng);
            BlockArray blocks = makeReceivedBlocks(sizeIndex);
            DecodeStatus status = DecodeStatus::Success;
            ASSERT_TRUE(splitBlocks(full, blocks, sizeIndex, status));
            const auto original = blocks.row(0);
            std::vector<uint8_t> received(original.begin(), original.begin() + n);
            std::vector<int32_t> positions(static_cast<size_t>(n));
            std::iota(positions.begin(), positions.end(), 0);
            std::shuffle(positions.begin(), positions.end(), rng);
            for (int i = 0; i < erased + errors; ++i)
                received[positions[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
            const std::span<const int32_t> erasures(positions.data(), erased);
            const BlockCorrection c = correctBlock(received, data, s.blockEccCodewords, erasures);
            ASSERT_EQ(c.status, DecodeStatus::Success)
                << "size " << sizeIndex << ", " << erased << " erased, " << errors << " errors";
            EXPECT_TRUE(std::equal(received.begin(), received.end(), original.begin()));
            EXPECT_EQ(c.errors, erased + errors);
            EXPECT_EQ(c.spareSyndromes, syndromes - erased - 2 * errors);
        }
    }
}

// A stream with more wrong codewords than a block corrects reads once the doubtful ones are
// named; without doubt, or with the wrong ones named sure, it does not.
TEST(CodewordCorrection, DoubtfulCodewordsAreErasedWhenABlockIsBeyondCorrection) {
    std::mt19937 rng(19);
    const int sizeIndex = 9;  // 32 x 32: one block of 62 + 36
    const auto original = randomStream(sizeIndex, rng);
    auto stream = original;
    std::vector<uint8_t> doubt(stream.size(), 0);
    const int capacity = test::blockCapacity(sizeIndex);
    std::vector<size_t> positions(stream.size());
    std::iota(positions.begin(), positions.end(), size_t{0});
    std::shuffle(positions.begin(), positions.end(), rng);
    // capacity + 6 wrong codewords, 20 of them doubtful, and 4 sure codewords doubtful as well.
    for (int i = 0; i < capacity + 6; ++i) {
        stream[positions[i]] ^= 0x5A;
        doubt[positions[i]] = i < 20 ? 3 : 0;
    }
    for (int i = capacity + 6; i < capacity + 10; ++i)
        doubt[positions[i]] = 1;
    EXPECT_FALSE(correctCodewords(stream, sizeIndex).ok);
    const CodewordCorrection c =
        correctCodewords(stream, sizeIndex, BlockScope::UntilUncorrectable, doubt);
    ASSERT_TRUE(c.ok) << ::testing::PrintToString(c.status);
    EXPECT_EQ(c.codewords, original);
    EXPECT_GT(c.blocks[0].erased, 0);
    EXPECT_GE(c.blocks[0].spareSyndromes, 2);
}

TEST(ReedSolomonDecoding, ErrorsInTheEccPartLeaveTheDataAlone) {
    std::mt19937 rng(17);
    const auto original = randomStream(8, rng);
    auto stream = original;
    stream[44 + 3] ^= 0x5A;  // an ECC codeword of 26x26
    const auto [status, data] = decodeStream(stream, 8);
    ASSERT_EQ(status, DecodeStatus::Success);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), original.begin()));
}

TEST(ReedSolomonDecoding, BlockWithoutBuffersCannotBeProcessed) {
    std::vector<uint8_t> out(3);
    EXPECT_EQ(decodeBlock({}, out, 3, 5), DecodeStatus::BlockUnprocessable);
    std::vector<uint8_t> in(8);
    EXPECT_EQ(decodeBlock(in, out, 0, 5), DecodeStatus::BlockUnprocessable);
    EXPECT_EQ(decodeBlock(in, {}, 3, 5), DecodeStatus::BlockUnprocessable);
}

TEST(ReedSolomonDecoding, SizeIndexOutsideTheTableIsRefused) {
    DecodeStatus status = DecodeStatus::Success;
    BlockArray blocks(1, 8);
    std::vector<uint8_t> stream(8), data(3);
    EXPECT_FALSE(splitBlocks(stream, blocks, kSizeCount, status));
    EXPECT_EQ(status, DecodeStatus::SizeIndexOutOfRange);
    status = DecodeStatus::Success;
    EXPECT_FALSE(joinData(blocks, data, -1, status));
    EXPECT_EQ(status, DecodeStatus::SizeIndexOutOfRange);
    EXPECT_EQ(correctCodewords(stream, kSizeCount).status, DecodeStatus::SizeIndexOutOfRange);
    EXPECT_EQ(correctCodewords(stream, 1).status, DecodeStatus::MissingInput);  // 12x12 needs 12
}

TEST(Interleaving144, LegacySplitDealsEveryPositionToBlockPositionModTen) {
    std::vector<uint8_t> stream(kMaxCodewords);
    for (int p = 0; p < kMaxCodewords; ++p)
        stream[p] = static_cast<uint8_t>(p % 251);
    BlockArray blocks = makeReceivedBlocks(23);
    DecodeStatus status = DecodeStatus::Success;
    ASSERT_TRUE(splitBlocks(stream, blocks, 23, status, Interleaving::Legacy));
    EXPECT_EQ(blocks.row(8)[155], stream[1558]);  // first ECC codeword lands in block 8
    EXPECT_EQ(blocks.row(7)[217], stream[2177]);  // the last in block 7
    // The compliant split puts the first ECC codeword after block 0's 156 data codewords.
    ASSERT_TRUE(splitBlocks(stream, blocks, 23, status, Interleaving::Compliant));
    EXPECT_EQ(blocks.row(0)[156], stream[1558]);
    EXPECT_EQ(blocks.row(8)[155], stream[1558 + 8]);
}

TEST(Interleaving144, OwnStreamsNeedTheCompliantRule) {
    std::mt19937 rng(19);
    const auto stream = randomStream(23, rng);
    EXPECT_EQ(decodeStream(stream, 23, Interleaving::Compliant).first, DecodeStatus::Success);
    EXPECT_EQ(decodeStream(stream, 23, Interleaving::Legacy).first,
              DecodeStatus::BlockUncorrectable);
}

TEST(CodewordCorrection, LegacyLargestSymbolIsReadWithItsErrorsPerBlock) {
    std::mt19937 rng(23);
    const SymbolSize& s = symbolSize(kLargestSquare);
    const auto compliant = randomStream(kLargestSquare, rng);
    // The same blocks dealt out by position, as legacy writers do.
    auto legacy = compliant;
    for (int k = 0; k < s.blockCount; ++k) {
        const int data = blockDataCount(kLargestSquare, k);
        for (int m = 0; m < s.blockEccCodewords; ++m) {
            legacy[k + (data + m) * s.blockCount] =
                compliant[s.dataCodewords + k + m * s.blockCount];
        }
    }
    auto read = legacy;
    for (const int i : {3, 70, 190})
        read[2 + i * s.blockCount] ^= 0x5A;  // block 2: two data and one ECC codeword
    read[9 + 216 * s.blockCount] ^= 1;       // block 9: its last ECC codeword

    const CodewordCorrection c = correctCodewords(read, kLargestSquare);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.status, DecodeStatus::Success);
    EXPECT_EQ(c.interleaving, Interleaving::Legacy);
    EXPECT_EQ(c.codewords, legacy);
    ASSERT_EQ(c.blocks.size(), 10u);
    for (int k = 0; k < s.blockCount; ++k) {
        EXPECT_EQ(c.blocks[k].errors, k == 2 ? 3 : k == 9 ? 1 : 0) << "block " << k;
        EXPECT_EQ(c.blocks[k].capacity, 31) << "block " << k;
    }
    const CodewordCorrection own = correctCodewords(compliant, kLargestSquare);
    ASSERT_TRUE(own.ok);
    EXPECT_EQ(own.interleaving, Interleaving::Compliant);
}

TEST(CodewordCorrection, CorrectsTheBlocksAfterAnUncorrectableOneOnlyWhenAsked) {
    std::mt19937 rng(31);
    constexpr int k52 = 14;  // two blocks of 102 + 42
    auto read = randomStream(k52, rng);
    corruptBlock(read, k52, 0, 2 * test::blockCapacity(k52), rng);
    corruptBlock(read, k52, 1, 2, rng);

    const CodewordCorrection first = correctCodewords(read, k52);
    EXPECT_FALSE(first.ok);
    EXPECT_EQ(first.status, DecodeStatus::BlockUncorrectable);
    EXPECT_TRUE(first.codewords.empty());
    ASSERT_EQ(first.blocks.size(), 1u);
    EXPECT_EQ(first.blocks[0].errors, -1);

    const CodewordCorrection every = correctCodewords(read, k52, BlockScope::EveryBlock);
    EXPECT_FALSE(every.ok);
    EXPECT_EQ(every.status, DecodeStatus::BlockUncorrectable);
    ASSERT_EQ(every.blocks.size(), 2u);
    EXPECT_EQ(every.blocks[0].errors, -1);
    EXPECT_EQ(every.blocks[1].errors, 2);
}

}  // namespace
}  // namespace dm
