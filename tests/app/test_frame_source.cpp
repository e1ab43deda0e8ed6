#include "tests/app/test_frame_source.h"

#include "encoder/message_encoder.h"

namespace dm::test {

std::unique_ptr<TestFrameSource> symbolCamera(std::string_view message) {
    const std::optional<EncodedSymbol> symbol = EncodeMessage(message);
    const SynthFrame frame = symbol
                                 ? synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side,
                                                   {.width = 320, .height = 240, .moduleSize = 5.0})
                                 : SynthFrame{};
    return std::make_unique<TestFrameSource>(
        VideoFormat{frame.width, frame.height}, [bytes = frame.bgr](int) { return bytes; },
        std::chrono::milliseconds(10));
}

}  // namespace dm::test
