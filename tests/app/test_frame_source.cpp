#include "tests/app/test_frame_source.h"

#include "encoder/message_encoder.h"

namespace dm::test {

std::unique_ptr<TestFrameSource> symbolCamera(std::string_view message) {
    const std::optional<EncodedSymbol> symbol = EncodeMessage(message);
    SynthOptions options;
    options.width = 320;
    options.height = 240;
    options.moduleSize = 5.0;
    const SynthFrame frame =
        symbol ? synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side, options)
               : SynthFrame{};
    return std::make_unique<TestFrameSource>(
        VideoFormat{frame.width, frame.height}, [bytes = frame.bgr](int) { return bytes; },
        std::chrono::milliseconds(10));
}

}  // namespace dm::test
