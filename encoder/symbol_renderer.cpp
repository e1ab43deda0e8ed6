#include "encoder/symbol_renderer.h"

#include <algorithm>

#include "encoder/message_encoder.h"

namespace dm {

std::optional<RenderedSymbol> RenderSymbol(std::span<const uint8_t> message, int moduleSize,
                                           int quietZone) {
    if (!validRenderParameters(moduleSize, quietZone))
        return std::nullopt;
    const auto symbol = EncodeMessage(message);
    if (!symbol)
        return std::nullopt;

    const int n = symbol->side;
    const int cells = n + 2 * quietZone;
    const int side = cells * moduleSize;
    RenderedSymbol out;
    out.side = n;
    out.image.width = side;
    out.image.height = side;
    out.image.pixels.assign(static_cast<size_t>(side) * side, 255);

    // Draw each module row once, then repeat it for the module's remaining pixel rows.
    for (int i = 0; i < n; ++i) {
        const size_t firstRow = static_cast<size_t>(i + quietZone) * moduleSize;
        uint8_t* row = out.image.pixels.data() + firstRow * side;
        for (int j = 0; j < n; ++j) {
            if (symbol->moduleMatrix[i * n + j]) {
                std::fill_n(row + static_cast<size_t>(j + quietZone) * moduleSize, moduleSize, 0);
            }
        }
        for (int k = 1; k < moduleSize; ++k)
            std::copy_n(row, side, row + static_cast<size_t>(k) * side);
    }
    return out;
}

}  // namespace dm
