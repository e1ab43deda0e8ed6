// A program outside the project: encodes a message with the installed encoder, decodes the drawn
// symbol and grades its print quality. Prints "<size> <text> <grade letter>"; exits 1 on failure.
#include <dmcodec/decoder/decode_image.h>
#include <dmcodec/encoder/symbol_encoder.h>
#include <dmcodec/encoder/symbol_renderer.h>
#include <dmcodec/grading/print_quality.h>

#include <cstdio>
#include <string_view>

int main() {
    constexpr std::string_view message = "Installed DmCodec 0123456789";
    const dm::SymbolSeries series = dm::encodeSymbols(
        {reinterpret_cast<const uint8_t*>(message.data()), message.size()}, dm::SymbolOptions{});
    if (series.symbols.empty()) {
        std::printf("encode failed: %s\n", series.error.c_str());
        return 1;
    }
    const dm::EncodedSymbol& symbol = series.symbols.front();
    const dm::SymbolImage image =
        dm::drawModules(symbol.moduleMatrix, symbol.rows, symbol.cols, 6, 4);
    const dm::ImageView view{image.pixels, image.width, image.height};

    const dm::DecodeResult result = dm::decodeImage(view);
    if (!result.decoded) {
        std::printf("decode failed: %.*s\n", static_cast<int>(result.statusMeaning().size()),
                    result.statusMeaning().data());
        return 1;
    }
    const dm::SymbolGrade grade = dm::gradeImage(view);
    std::printf("%dx%d %s %c\n", result.symbolRows, result.symbolCols, result.text.c_str(),
                dm::gradeLetter(grade.overall));
    return result.text == message && grade.decoded ? 0 : 1;
}
