#include "encoder/message_encoder.h"

#include "encoder/symbol_encoder.h"

namespace dm {

std::optional<EncodedSymbol> EncodeMessage(std::span<const uint8_t> message) {
    // The message buffer's size bounds the input before anything is encoded.
    if (message.empty() || message.size() > static_cast<size_t>(kMessageCapacity))
        return std::nullopt;
    SymbolOptions options;
    options.scheme = Scheme::Ascii;
    options.shape = Shape::Square;
    SymbolSeries series = encodeSymbols(message, options);
    if (series.symbols.empty())
        return std::nullopt;
    return std::move(series.symbols.front());
}

}  // namespace dm
