#include "decoder/frame_intake.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/shared/decoder_records.h"
#include "encoder/message_encoder.h"
#include "tests/support/decoding.h"
#include "tests/support/frame_synth.h"
#include "tests/support/gray_frame.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/printers.h"

namespace dm {
namespace {

using test::cameraFrame;

TEST(FrameDib, StrideRoundsRowsUpToFourBytes) {
    EXPECT_EQ(CFrameDib::stride(640, 24), 1920);
    EXPECT_EQ(CFrameDib::stride(638, 24), 1916);
    EXPECT_EQ(CFrameDib::stride(3, 8), 4);
    EXPECT_EQ(CFrameDib::stride(5, 1), 4);
}

TEST(FrameDib, CreateCopiesHeaderAndPixels) {
    std::vector<uint8_t> pixels(1916 * 2 + 7, 0x5A);
    BitmapInfoHeader h = frameHeader(638, 2, 24);
    CFrameDib frame;
    ASSERT_EQ(frame.Create(&h, pixels), 1);
    EXPECT_EQ(frame.info.bmiHeader.biWidth, 638);
    EXPECT_EQ(frame.bits.size(), 1916u * 2);  // stride x height; extra bytes are not copied
    EXPECT_EQ(frame.colorCount, 0);
    pixels[0] = 0;
    EXPECT_EQ(frame.bits[0], 0x5A);  // a copy, not a view

    // biSizeImage, when given, is the byte count.
    h.biSizeImage = 1916 * 2 + 4;
    ASSERT_EQ(frame.Create(&h, pixels), 1);
    EXPECT_EQ(frame.bits.size(), 1916u * 2 + 4);

    h = frameHeader(4, 4, 8);
    ASSERT_EQ(frame.Create(&h, std::vector<uint8_t>(16)), 1);
    EXPECT_EQ(frame.colorCount, 256);
}

TEST(FrameDib, CreateRefusesWhatItCannotHold) {
    const std::vector<uint8_t> pixels(1920 * 4);
    CFrameDib frame;
    BitmapInfoHeader h = frameHeader(640, 4, 24);
    ASSERT_EQ(frame.Create(&h, pixels), 1);
    // A refused Create leaves the frame empty.
    EXPECT_EQ(frame.Create(nullptr, pixels), 0);
    EXPECT_TRUE(frame.bits.empty());
    EXPECT_EQ(frame.info.bmiHeader.biWidth, 0);
    EXPECT_EQ(frame.Create(&h, {}), 0);
    h.biHeight = 5;  // one row more than the pixels hold
    EXPECT_EQ(frame.Create(&h, pixels), 0);
    h = frameHeader(0, 4, 24);
    EXPECT_EQ(frame.Create(&h, pixels), 0);
    h = frameHeader(640, -4, 24);
    EXPECT_EQ(frame.Create(&h, pixels), 0);
    h = frameHeader(640, 4, 24);
    h.biSizeImage = 1920 * 4 + 1;
    EXPECT_EQ(frame.Create(&h, pixels), 0);
}

// Gray = (59 G + 30 R + 11 B) / 100 for each pixel, read in place: rows in stored order,
// padding and the spare fourth byte skipped.
TEST(FrameIntake, GrayReadingWeightsAndPadding) {
    const int width = 638, height = 10;
    struct Pixel {
        int row, col;
        uint8_t b, g, r;
        int gray;
    };
    // Row 1 starts after the padding; pixel (0, 4) keeps the fill 0xEE.
    const Pixel pixels[] = {{0, 0, 255, 0, 0, 28},
                            {0, 1, 0, 255, 0, 150},
                            {0, 2, 0, 0, 255, 76},
                            {0, 3, 255, 255, 255, 255},
                            {0, width - 1, 10, 20, 30, (59 * 20 + 30 * 30 + 11 * 10) / 100},
                            {1, 0, 0, 0, 0, 0},
                            {height - 1, width - 1, 1, 2, 3, (59 * 2 + 30 * 3 + 11) / 100}};
    for (const int bitCount : {24, 32}) {
        SCOPED_TRACE(std::to_string(bitCount) + " bits");
        const int bpp = bitCount / 8;
        const auto rowBytes = static_cast<int32_t>(CFrameDib::stride(width, bitCount));
        std::vector<uint8_t> bits(static_cast<size_t>(rowBytes) * height, 0xEE);
        for (const Pixel& p : pixels) {
            uint8_t* at = &bits[static_cast<size_t>(p.row) * rowBytes + p.col * bpp];
            at[0] = p.b;
            at[1] = p.g;
            at[2] = p.r;
            if (bpp == 4)
                at[3] = 0x11;  // ignored
        }
        const test::GrayFrame frame(std::move(bits), width, height, bpp, rowBytes);
        const GrayImage& image = frame.image;
        for (const Pixel& p : pixels)
            EXPECT_EQ(grayAt(image, p.col, p.row), p.gray) << p.col << ", " << p.row;
        EXPECT_EQ(grayAt(image, 4, 0), 0xEE);
    }
    // The shifted multiply divides exactly by 100 for every weighted sum.
    for (int b = 0; b < 256; b += 5) {
        for (int g = 0; g < 256; g += 3) {
            for (int r = 0; r < 256; r += 7) {
                const uint8_t bgr[3] = {static_cast<uint8_t>(b), static_cast<uint8_t>(g),
                                        static_cast<uint8_t>(r)};
                ASSERT_EQ(grayOfBgr(bgr), (59 * g + 30 * r + 11 * b) / 100);
            }
        }
    }
}

// A padded 24-bit frame and the same picture in 32 bits decode alike: the text delivered
// whole, the symbol's size, one beep each.
TEST(FrameIntake, DecodedFramesBeepAndDeliverTheText) {
    const std::string message = "Padding 0123";
    const auto encoded = EncodeMessage(message);
    ASSERT_TRUE(encoded.has_value());
    // 622 pixels: 1,866 bytes a row, two bytes of padding.
    const test::SynthOptions o{.width = 622, .rotationDeg = 21};
    const auto synth =
        test::synthesiseFrame(encoded->moduleMatrix, encoded->side, encoded->side, o);
    const std::vector<uint8_t> four = test::bgrxPixels(synth, 0x5A);
    FrameIntake intake;
    int beeps = 0;
    intake.beep = [&] { ++beeps; };
    for (const CFrameDib& frame :
         {cameraFrame(synth), cameraFrame(synth.width, synth.height, 32, four)}) {
        std::string out;
        const FrameDecodeResult r = decodeFrame(frame, out, intake);
        EXPECT_TRUE(r.decoded);
        EXPECT_EQ(r.status, DecodeStatus::Success);
        EXPECT_EQ(r.sizeIndex, encoded->sizeIndex);
        EXPECT_EQ(out, message);
    }
    EXPECT_EQ(beeps, 2);
}

TEST(FrameIntake, BadFramesAreRefusedWithMissingInput) {
    struct Case {
        const char* name;
        int width, height, bitCount;
        size_t bytes;
    };
    const Case cases[] = {
        {"9 pixels wide", 9, 40, 24, 12 * 40}, {"9 pixels high", 40, 9, 24, 120 * 9},
        {"8-bit", 40, 40, 8, 40 * 40},         {"16-bit", 40, 40, 16, 80 * 40},
        {"no pixels", 40, 40, 24, 0},          {"pixels one row short", 40, 40, 24, 120 * 39},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFrameDib frame;
        frame.info.bmiHeader = frameHeader(c.width, c.height, c.bitCount);
        frame.bits.assign(c.bytes, 0x80);
        FrameIntake intake;
        bool beeped = false;
        intake.beep = [&] { beeped = true; };
        std::string out = "kept";
        const FrameDecodeResult r = decodeFrame(frame, out, intake);
        EXPECT_FALSE(r.decoded);
        EXPECT_EQ(r.status, DecodeStatus::MissingInput);
        EXPECT_EQ(r.sizeIndex, -1);
        EXPECT_EQ(out, "kept");
        EXPECT_FALSE(beeped);
    }
}

// A 10x10 symbol of 4-pixel modules in a noisy frame is too small a share of the frame for the
// whole-frame threshold, which lands in the background; the central-half variant finds it, and
// so does the frame search under tile thresholds, on the first frame already.
TEST(FrameIntake, ThresholdVariantsCycleFromFrameToFrame) {
    const std::string message = "ABC";
    const auto encoded = EncodeMessage(message);
    ASSERT_TRUE(encoded.has_value());
    ASSERT_EQ(encoded->side, 10);
    const test::SynthOptions o{
        .moduleSize = 4, .rotationDeg = 15, .blurSigma = 0.7, .noiseSigma = 6, .seed = 199};
    const CFrameDib frame = cameraFrame(test::synthesiseFrame(encoded->moduleMatrix, 10, 10, o));

    // The finder search alone: the first frame's variant misses, the second frame's reads.
    for (const uint32_t count : {0u, 1u}) {
        EXPECT_EQ(test::finderPassDecodes(test::frameView(frame), count), count == 1)
            << "frame count " << count;
    }

    FrameIntake camera;
    int beeps = 0;
    camera.beep = [&] { ++beeps; };
    std::string out = "kept";
    const FrameDecodeResult first = decodeFrame(frame, out, camera);
    EXPECT_TRUE(first.decoded) << "status " << toInt(first.status);
    EXPECT_EQ(out, message);
    EXPECT_EQ(camera.frameCounter, 1u);
    out.clear();
    const FrameDecodeResult second = decodeFrame(frame, out, camera);
    EXPECT_TRUE(second.decoded) << ::testing::PrintToString(second.status);
    EXPECT_EQ(out, message);
    EXPECT_EQ(camera.frameCounter, 2u);
    EXPECT_EQ(beeps, 2);

    const DecodeResult still = decodeImage(*frameView(frame));
    EXPECT_TRUE(still.decoded);
    EXPECT_EQ(still.text, message);

    // Nothing to find: no beep, the text kept; a still frame fails every variant and reports
    // the whole-frame variant's status.
    const CFrameDib blank = cameraFrame(640, 480, 24, std::vector<uint8_t>(1920 * 480, 0xC8));
    std::string none = "kept";
    EXPECT_EQ(decodeFrame(blank, none, camera).status, DecodeStatus::NoFinder);
    const DecodeResult empty = decodeImage(*frameView(blank));
    EXPECT_FALSE(empty.decoded);
    EXPECT_EQ(empty.status, DecodeStatus::NoFinder);
    EXPECT_EQ(none, "kept");
    EXPECT_EQ(beeps, 2);
}

// A later, larger frame is read whole (a gray buffer sized by the first frame would be
// overrun); a text beyond 1,023 bytes arrives whole.
TEST(FrameIntake, LaterLargerFrameAndLongTextAreHandledWhole) {
    FrameIntake intake;
    std::string out;
    const std::vector<uint8_t> small(CFrameDib::stride(20, 24) * 16, 0xC8);
    EXPECT_EQ(decodeFrame(cameraFrame(20, 16, 24, small), out, intake).status,
              DecodeStatus::NoFinder);

    std::string digits;
    for (int i = 0; digits.size() < 1100; ++i)
        digits += std::to_string(i % 10);
    const auto encoded = EncodeMessage(digits);
    ASSERT_TRUE(encoded.has_value());
    const test::SynthOptions o =
        test::fitted(encoded->side, encoded->side, {.moduleSize = 5, .rotationDeg = 3}, 64, 48);
    const auto synth =
        test::synthesiseFrame(encoded->moduleMatrix, encoded->side, encoded->side, o);
    const FrameDecodeResult r = decodeFrame(cameraFrame(synth), out, intake);
    ASSERT_TRUE(r.decoded) << ::testing::PrintToString(r.status);
    EXPECT_EQ(out, digits);
}

// A symbol written by a peer, photographed: the whole path from camera bytes to text.
TEST(FrameIntake, PeerSymbolInEverySchemeDecodesFromAFrame) {
    const std::pair<test::PeerScheme, std::string> cases[] = {
        {test::PeerScheme::C40, "CAMERA FRAME 42"},
        {test::PeerScheme::Text, "camera frame 42"},
        {test::PeerScheme::X12, "CAM*42>FRAME"},
        {test::PeerScheme::Edifact, "CAMERA:FRAME?42"},
        {test::PeerScheme::Base256, "\xB2\xE2\xCA\xD4 frame"},
    };
    FrameIntake intake;
    for (const auto& [scheme, message] : cases) {
        SCOPED_TRACE(std::string(test::schemeName(scheme)));
        const auto symbol = test::encodeWithDmtx(test::bytesOf(message), scheme);
        ASSERT_TRUE(symbol.has_value());
        const auto synth =
            test::synthesiseFrame(symbol->matrix, symbol->rows, symbol->cols, {.rotationDeg = 17});
        std::string out;
        const FrameDecodeResult r = decodeFrame(cameraFrame(synth), out, intake);
        EXPECT_TRUE(r.decoded) << ::testing::PrintToString(r.status);
        EXPECT_EQ(out, message);
    }
}

}  // namespace
}  // namespace dm
