#include "encoder/message_encoder.h"

#include "encoder/symbol_encoder.h"

namespace dm {

std::optional<EncodedSymbol> EncodeMessage(std::span<const uint8_t> message) {
    // The message buffer's size bounds the input before anything is encoded.
    if (message.empty() || message.size() > static_cast<size_t>(kMessageCapacity))
        return std::nullopt;
    return encodeAsciiSquare(message);
}

}  // namespace dm
