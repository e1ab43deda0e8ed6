#include "tests/support/peer_readers.h"

#include <ZXing/ReadBarcode.h>
#include <dmtx.h>
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

std::optional<std::string> readWithZxing(const GrayPicture& picture) {
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::DataMatrix);
    hints.setTryHarder(true);
    const ZXing::ImageView view(picture.pixels.data(), picture.width, picture.height,
                                ZXing::ImageFormat::Lum);
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    if (!result.isValid())
        return std::nullopt;
    const auto& bytes = result.bytes();
    return std::string(bytes.begin(), bytes.end());
}

std::optional<std::string> readWithDmtx(const GrayPicture& picture, int timeoutMs) {
    std::vector<unsigned char> pixels = picture.pixels;
    DmtxImage* img = dmtxImageCreate(pixels.data(), picture.width, picture.height, DmtxPack8bppK);
    if (!img)
        return std::nullopt;
    std::optional<std::string> text;
    DmtxDecode* dec = dmtxDecodeCreate(img, 1);
    if (dec) {
        DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), timeoutMs);
        DmtxRegion* reg = dmtxRegionFindNext(dec, &timeout);
        if (reg) {
            DmtxMessage* msg = dmtxDecodeMatrixRegion(dec, reg, DmtxUndefined);
            if (msg) {
                text = std::string(reinterpret_cast<const char*>(msg->output), msg->outputIdx);
                dmtxMessageDestroy(&msg);
            }
            dmtxRegionDestroy(&reg);
        }
        dmtxDecodeDestroy(&dec);
    }
    dmtxImageDestroy(&img);
    return text;
}

}  // namespace dm::test
