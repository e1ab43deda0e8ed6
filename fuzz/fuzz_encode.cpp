// Arbitrary bytes and parameters into the encoders, the renderer and the JPEG writer. Every
// symbol the window's encoder or the scheme-choosing encoder (scheme and shape taken from the
// parameter bytes) produces must decode back to the message.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "encoder/symbol_encoder.h"
#include "encoder/symbol_renderer.h"

namespace {

bool decodesTo(const std::vector<uint8_t>& matrix, int sizeIndex,
               std::span<const uint8_t> message) {
    dm::DecodeState state;
    dm::DecodeStatus status = dm::DecodeStatus::Success;
    return dm::decodeModuleMatrix(matrix, sizeIndex, state, status) &&
           state.text.size() >= static_cast<size_t>(state.textLength) &&
           static_cast<size_t>(state.textLength) == message.size() &&
           std::equal(message.begin(), message.end(), state.text.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int moduleSize = static_cast<int8_t>(data[0]) % 24;  // includes invalid values
    const int quietZone = static_cast<int8_t>(data[1]) % 24;
    const std::span<const uint8_t> message(data + 2, size - 2);

    const auto symbol = dm::EncodeMessage(message);
    if (symbol && !decodesTo(symbol->moduleMatrix, symbol->sizeIndex, message))
        __builtin_trap();
    dm::SymbolOptions options;
    options.scheme = static_cast<dm::Scheme>(data[0] % 7);
    options.shape = static_cast<dm::Shape>(data[1] % 3);
    options.dmre = options.shape != dm::Shape::Square && (data[1] & 4);
    for (const dm::EncodedSymbol& s : dm::encodeSymbols(message, options).symbols) {
        if (!decodesTo(s.moduleMatrix, s.sizeIndex, message))
            __builtin_trap();
    }
    // Rendering and saving are costly for big symbols: exercise them on small module sizes only.
    if (moduleSize <= 3) {
        const std::string path = "/dev/shm/dm-fuzz-encode-" + std::to_string(getpid()) + ".jpg";
        const int side = dm::GenerateSymbolFile(message, path, moduleSize, quietZone);
        const bool valid = moduleSize >= 1 && quietZone >= 0 && quietZone <= 20;
        if ((side > 0) != (valid && symbol.has_value()))
            __builtin_trap();
        unlink(path.c_str());
    }
    return 0;
}
