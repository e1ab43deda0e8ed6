#include "tests/support/peer_readers.h"

// Result::text() as UTF-8.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#include <dmtx.h>
#include <png.h>
#include <turbojpeg.h>

#include <fstream>
#include <iterator>

namespace dm::test {

std::optional<GrayPicture> loadJpegGray(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    tjhandle h = tjInitDecompress();
    if (!h)
        return std::nullopt;
    GrayPicture pic;
    int subsamp = 0, colorspace = 0;
    bool ok = tjDecompressHeader3(h, data.data(), data.size(), &pic.width, &pic.height, &subsamp,
                                  &colorspace) == 0;
    if (ok) {
        pic.pixels.resize(static_cast<size_t>(pic.width) * pic.height);
        ok = tjDecompress2(h, data.data(), data.size(), pic.pixels.data(), pic.width, pic.width,
                           pic.height, TJPF_GRAY, 0) == 0;
    }
    tjDestroy(h);
    if (!ok)
        return std::nullopt;
    return pic;
}

bool writePng(const std::string& path, const GrayPicture& picture) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(picture.width);
    png.height = static_cast<png_uint_32>(picture.height);
    png.format = PNG_FORMAT_GRAY;
    return png_image_write_to_file(&png, path.c_str(), 0, picture.pixels.data(), 0, nullptr) != 0;
}

GrayPicture drawModules(std::span<const uint8_t> matrix, int rows, int cols, int modulePixels,
                        int quietModules, bool mirrored) {
    GrayPicture pic;
    pic.width = (cols + 2 * quietModules) * modulePixels;
    pic.height = (rows + 2 * quietModules) * modulePixels;
    pic.pixels.assign(static_cast<size_t>(pic.width) * pic.height, 255);
    for (int y = 0; y < rows * modulePixels; ++y) {
        uint8_t* line =
            pic.pixels.data() + static_cast<size_t>(y + quietModules * modulePixels) * pic.width;
        const int r = mirrored ? rows - 1 - y / modulePixels : y / modulePixels;
        for (int x = 0; x < cols * modulePixels; ++x) {
            const bool dark = matrix[static_cast<size_t>(r) * cols + x / modulePixels] != 0;
            line[quietModules * modulePixels + x] = dark ? 0 : 255;
        }
    }
    return pic;
}

namespace {

// zxing-cpp on a view, Data Matrix only (it tries harder by default).
std::optional<ZXing::Result> zxingRead(const ZXing::ImageView& view) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid())
        return std::nullopt;
    return result;
}

ZXing::ImageView viewOf(const GrayPicture& picture) {
    return {picture.pixels.data(), picture.width, picture.height, ZXing::ImageFormat::Lum};
}

std::optional<std::string> contentOf(const std::optional<ZXing::Result>& result) {
    if (!result)
        return std::nullopt;
    return std::string(result->bytes().begin(), result->bytes().end());
}

// libdmtx on a copy of the pixels (it takes a mutable buffer): the symbols found within the
// time limit, up to most of them, their raw content bytes.
std::vector<std::string> dmtxReadAll(std::vector<unsigned char> pixels, int width, int height,
                                     int packing, int rowPadding, bool flipRows, int timeoutMs,
                                     size_t most) {
    std::vector<std::string> texts;
    DmtxImage* image = dmtxImageCreate(pixels.data(), width, height, packing);
    if (image == nullptr)
        return texts;
    dmtxImageSetProp(image, DmtxPropRowPadBytes, rowPadding);
    if (flipRows)
        dmtxImageSetProp(image, DmtxPropImageFlip, DmtxFlipY);
    DmtxDecode* decode = dmtxDecodeCreate(image, 1);
    if (decode != nullptr) {
        DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), timeoutMs);
        while (texts.size() < most) {
            DmtxRegion* region = dmtxRegionFindNext(decode, &timeout);
            if (region == nullptr)
                break;
            DmtxMessage* message = dmtxDecodeMatrixRegion(decode, region, DmtxUndefined);
            if (message != nullptr) {
                texts.emplace_back(reinterpret_cast<const char*>(message->output),
                                   message->outputIdx);
                dmtxMessageDestroy(&message);
            }
            dmtxRegionDestroy(&region);
        }
        dmtxDecodeDestroy(&decode);
    }
    dmtxImageDestroy(&image);
    return texts;
}

// The first symbol libdmtx finds within the time limit.
std::optional<std::string> dmtxRead(std::vector<unsigned char> pixels, int width, int height,
                                    int packing, int rowPadding, bool flipRows, int timeoutMs) {
    std::vector<std::string> texts =
        dmtxReadAll(std::move(pixels), width, height, packing, rowPadding, flipRows, timeoutMs, 1);
    if (texts.empty())
        return std::nullopt;
    return std::move(texts.front());
}

}  // namespace

std::optional<PeerMessage> readMessageWithZxing(const GrayPicture& picture) {
    const std::optional<ZXing::Result> result = zxingRead(viewOf(picture));
    if (!result)
        return std::nullopt;
    PeerMessage m;
    m.bytes.assign(result->bytes().begin(), result->bytes().end());
    m.text = result->text();
    m.hasEci = result->hasECI();
    // zxing-cpp reports the ECI modifiers ("]d4" to "]d6") only at the head of its ECI
    // protocol bytes.
    const ZXing::ByteArray eciBytes = result->bytesECI();
    m.symbologyIdentifier = m.hasEci ? std::string(eciBytes.begin(), eciBytes.begin() + 3)
                                     : result->symbologyIdentifier();
    m.gs1 = result->contentType() == ZXing::ContentType::GS1;
    m.readerProgramming = result->readerInit();
    m.mirrored = result->isMirrored();
    if (result->isPartOfSequence()) {
        m.appendPosition = result->sequenceIndex() + 1;
        m.appendTotal = result->sequenceSize();
    }
    return m;
}

std::optional<std::string> readWithZxing(const GrayPicture& picture) {
    return contentOf(zxingRead(viewOf(picture)));
}

std::optional<std::string> readWithDmtx(const GrayPicture& picture, int timeoutMs) {
    return dmtxRead(picture.pixels, picture.width, picture.height, DmtxPack8bppK, 0, false,
                    timeoutMs);
}

std::optional<std::string> readFrameWithZxing(const CFrameDib& frame) {
    const int width = frame.info.bmiHeader.biWidth;
    const int height = frame.info.bmiHeader.biHeight;
    const auto stride = static_cast<int>(CFrameDib::stride(width, 24));
    // Viewed from the last stored row upward, the bottom-up frame reads as the upright picture.
    return contentOf(zxingRead({frame.bits.data() + static_cast<size_t>(height - 1) * stride, width,
                                height, ZXing::ImageFormat::BGR, -stride, 3}));
}

std::optional<std::string> readFrameWithDmtx(const CFrameDib& frame, int timeoutMs) {
    const int width = frame.info.bmiHeader.biWidth;
    // The camera frame stores its rows bottom-up; libdmtx is told to flip them.
    return dmtxRead({frame.bits.begin(), frame.bits.end()}, width, frame.info.bmiHeader.biHeight,
                    DmtxPack24bppBGR, static_cast<int>(CFrameDib::stride(width, 24)) - 3 * width,
                    true, timeoutMs);
}

std::vector<std::string> readFrameAllWithZxing(const CFrameDib& frame) {
    const int width = frame.info.bmiHeader.biWidth;
    const int height = frame.info.bmiHeader.biHeight;
    const auto stride = static_cast<int>(CFrameDib::stride(width, 24));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    std::vector<std::string> texts;
    for (const ZXing::Result& r :
         ZXing::ReadBarcodes({frame.bits.data() + static_cast<size_t>(height - 1) * stride, width,
                              height, ZXing::ImageFormat::BGR, -stride, 3},
                             hints)) {
        if (r.isValid())
            texts.emplace_back(r.bytes().begin(), r.bytes().end());
    }
    return texts;
}

std::vector<std::string> readFrameAllWithDmtx(const CFrameDib& frame, int timeoutMs) {
    const int width = frame.info.bmiHeader.biWidth;
    return dmtxReadAll({frame.bits.begin(), frame.bits.end()}, width, frame.info.bmiHeader.biHeight,
                       DmtxPack24bppBGR, static_cast<int>(CFrameDib::stride(width, 24)) - 3 * width,
                       true, timeoutMs, SIZE_MAX);
}

}  // namespace dm::test
