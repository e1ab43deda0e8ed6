#include "tests/app/test_frame_source.h"

#include "encoder/message_encoder.h"

namespace dm::test {

SynthFrame symbolFrame(std::string_view message, int width, int height) {
    const std::optional<EncodedSymbol> symbol = EncodeMessage(message);
    if (!symbol) {
        return {};
    }
    SynthOptions options;
    options.width = width;
    options.height = height;
    options.moduleSize = 5.0;
    return synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side, options);
}

}  // namespace dm::test
