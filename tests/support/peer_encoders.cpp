#include "tests/support/peer_encoders.h"

#include <dmtx.h>
#include <zint.h>

#include <cstring>
#include <memory>

#include "symbology/symbol_size.h"

namespace dm::test {
namespace {

constexpr int kDmtxModulePixels = 4;
constexpr int kDmtxMarginPixels = 8;

// A Data Matrix in standard orientation has a solid column 0 and a solid last row.
bool hasSolidFinder(const PeerSymbol& s) {
    for (int r = 0; r < s.rows; ++r) {
        if (s.matrix[static_cast<size_t>(r) * s.cols] != 1)
            return false;
    }
    for (int c = 0; c < s.cols; ++c) {
        if (s.matrix[static_cast<size_t>(s.rows - 1) * s.cols + c] != 1)
            return false;
    }
    return true;
}

std::optional<PeerSymbol> finish(PeerSymbol s) {
    s.sizeIndex = findSize(s.cols, s.rows);
    if (s.sizeIndex < 0 || !hasSolidFinder(s))
        return std::nullopt;
    return s;
}

// Each scheme's name and libdmtx's number for it, in the order of PeerScheme.
struct SchemeInfo {
    std::string_view name;
    int dmtx;
};
constexpr SchemeInfo kSchemeInfo[] = {
    {"ASCII", DmtxSchemeAscii}, {"C40", DmtxSchemeC40},         {"Text", DmtxSchemeText},
    {"X12", DmtxSchemeX12},     {"EDIFACT", DmtxSchemeEdifact}, {"Base256", DmtxSchemeBase256}};

}  // namespace

std::string_view schemeName(PeerScheme scheme) {
    return kSchemeInfo[static_cast<int>(scheme)].name;
}

namespace {

std::optional<PeerSymbol> encodeWithDmtxScheme(std::span<const uint8_t> message, int scheme,
                                               int sizeIndex, bool gsAsFnc1) {
    auto destroy = [](DmtxEncode* e) { dmtxEncodeDestroy(&e); };
    std::unique_ptr<DmtxEncode, decltype(destroy)> enc(dmtxEncodeCreate(), destroy);
    if (!enc)
        return std::nullopt;
    dmtxEncodeSetProp(enc.get(), DmtxPropScheme, scheme);
    dmtxEncodeSetProp(enc.get(), DmtxPropSizeRequest,
                      sizeIndex < 0 ? DmtxSymbolSquareAuto : sizeIndex);
    dmtxEncodeSetProp(enc.get(), DmtxPropModuleSize, kDmtxModulePixels);
    dmtxEncodeSetProp(enc.get(), DmtxPropMarginSize, kDmtxMarginPixels);
    if (gsAsFnc1)
        dmtxEncodeSetProp(enc.get(), DmtxPropFnc1, 29);
    std::vector<unsigned char> input(message.begin(), message.end());
    if (dmtxEncodeDataMatrix(enc.get(), static_cast<int>(input.size()), input.data()) != DmtxPass ||
        enc->image == nullptr) {
        return std::nullopt;
    }
    PeerSymbol s;
    s.rows = enc->region.symbolRows;
    s.cols = enc->region.symbolCols;
    s.matrix.resize(static_cast<size_t>(s.rows) * s.cols);
    // libdmtx's image has y = 0 at the bottom: symbol row r is image row rows - 1 - r.
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.cols; ++c) {
            const int x = kDmtxMarginPixels + c * kDmtxModulePixels + kDmtxModulePixels / 2;
            const int y =
                kDmtxMarginPixels + (s.rows - 1 - r) * kDmtxModulePixels + kDmtxModulePixels / 2;
            int value = 255;
            if (dmtxImageGetPixelValue(enc->image, x, y, 0, &value) != DmtxPass) {
                return std::nullopt;
            }
            s.matrix[static_cast<size_t>(r) * s.cols + c] = value < 128 ? 1 : 0;
        }
    }
    return finish(std::move(s));
}

}  // namespace

std::optional<PeerSymbol> encodeWithDmtx(std::span<const uint8_t> message, PeerScheme scheme,
                                         int sizeIndex, bool gsAsFnc1) {
    return encodeWithDmtxScheme(message, kSchemeInfo[static_cast<int>(scheme)].dmtx, sizeIndex,
                                gsAsFnc1);
}

std::optional<PeerSymbol> encodeWithDmtxAutoBest(std::span<const uint8_t> message, int sizeIndex,
                                                 bool gsAsFnc1) {
    return encodeWithDmtxScheme(message, DmtxSchemeAutoBest, sizeIndex, gsAsFnc1);
}

namespace {

using ZintSymbol = std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)>;

ZintSymbol zintSymbol(const ZintOptions& options) {
    ZintSymbol symbol(ZBarcode_Create(), &ZBarcode_Delete);
    if (!symbol)
        return symbol;
    symbol->symbology = BARCODE_DATAMATRIX;
    symbol->input_mode = options.input == ZintInput::Utf8  ? UNICODE_MODE
                         : options.input == ZintInput::Gs1 ? GS1_MODE
                                                           : DATA_MODE;
    symbol->eci = options.eci;
    symbol->option_2 = options.size;
    if (options.squareOnly)
        symbol->option_3 = DM_SQUARE;
    else if (options.dmre)
        symbol->option_3 = DM_DMRE;
    if (options.readerProgramming)
        symbol->output_options |= READER_INIT;
    if (options.appendCount > 0) {
        symbol->structapp.index = options.appendIndex;
        symbol->structapp.count = options.appendCount;
        std::strncpy(symbol->structapp.id, options.appendId.c_str(),
                     sizeof(symbol->structapp.id) - 1);
    }
    return symbol;
}

std::optional<PeerSymbol> readZintModules(const zint_symbol& symbol) {
    PeerSymbol s;
    s.rows = symbol.rows;
    s.cols = symbol.width;
    s.matrix.resize(static_cast<size_t>(s.rows) * s.cols);
    // encoded_data packs each row's modules eight to a byte, least significant bit first.
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.cols; ++c) {
            s.matrix[static_cast<size_t>(r) * s.cols + c] =
                (symbol.encoded_data[r][c >> 3] >> (c & 7)) & 1;
        }
    }
    return finish(std::move(s));
}

}  // namespace

std::optional<PeerSymbol> encodeWithZint(std::span<const uint8_t> message,
                                         const ZintOptions& options) {
    ZintSymbol symbol = zintSymbol(options);
    if (!symbol || ZBarcode_Encode(symbol.get(), message.data(),
                                   static_cast<int>(message.size())) >= ZINT_ERROR) {
        return std::nullopt;
    }
    return readZintModules(*symbol);
}

std::optional<PeerSymbol> encodeWithZintSegments(std::span<const ZintSegment> segments,
                                                 const ZintOptions& options) {
    ZintSymbol symbol = zintSymbol(options);
    if (!symbol)
        return std::nullopt;
    symbol->input_mode = UNICODE_MODE;
    std::vector<std::string> texts;
    std::vector<zint_seg> segs;
    for (const ZintSegment& s : segments)
        texts.push_back(s.text);
    for (size_t i = 0; i < segments.size(); ++i) {
        segs.push_back({reinterpret_cast<unsigned char*>(texts[i].data()),
                        static_cast<int>(texts[i].size()), segments[i].eci});
    }
    if (ZBarcode_Encode_Segs(symbol.get(), segs.data(), static_cast<int>(segs.size())) >=
        ZINT_ERROR) {
        return std::nullopt;
    }
    return readZintModules(*symbol);
}

}  // namespace dm::test
