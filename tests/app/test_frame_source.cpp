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

std::unique_ptr<TestFrameSource> symbolCamera(std::string_view message) {
    const SynthFrame frame = symbolFrame(message);
    return std::make_unique<TestFrameSource>(
        VideoFormat{frame.width, frame.height}, [bytes = frame.bgr](int) { return bytes; },
        std::chrono::milliseconds(10));
}

}  // namespace dm::test
