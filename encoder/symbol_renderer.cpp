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

    return RenderedSymbol{
        drawModules(symbol->moduleMatrix, symbol->rows, symbol->cols, moduleSize, quietZone),
        symbol->side};
}

SymbolImage drawModules(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                        int quietZone) {
    SymbolImage out;
    out.width = (cols + 2 * quietZone) * moduleSize;
    out.height = (rows + 2 * quietZone) * moduleSize;
    const size_t width = static_cast<size_t>(out.width);
    out.pixels.assign(width * out.height, 255);

    // Draw each module row once, then repeat it for the module's remaining pixel rows.
    for (int i = 0; i < rows; ++i) {
        const size_t firstRow = static_cast<size_t>(i + quietZone) * moduleSize;
        uint8_t* row = out.pixels.data() + firstRow * width;
        for (int j = 0; j < cols; ++j) {
            if (matrix[static_cast<size_t>(i) * cols + j]) {
                std::fill_n(row + static_cast<size_t>(j + quietZone) * moduleSize, moduleSize, 0);
            }
        }
        for (int k = 1; k < moduleSize; ++k)
            std::copy_n(row, width, row + static_cast<size_t>(k) * width);
    }
    return out;
}

}  // namespace dm
