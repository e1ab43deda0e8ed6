#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "symbology/api.h"

namespace dm {

inline constexpr int kMinModuleSize = 1;
inline constexpr int kMaxModuleSize = 20;
inline constexpr int kMinQuietZone = 0;
inline constexpr int kMaxQuietZone = 20;

// 8-bit gray image, row-major, no padding, top row first; 0 = dark module, 255 = light.
struct SymbolImage {
    std::vector<uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
};

struct RenderedSymbol {
    SymbolImage image;
    int32_t side = 0;  // symbol side in modules
};

constexpr bool validRenderParameters(int moduleSize, int quietZone) {
    return moduleSize >= kMinModuleSize && moduleSize <= kMaxModuleSize &&
           quietZone >= kMinQuietZone && quietZone <= kMaxQuietZone;
}

// Draws a module matrix (rows x cols, 1 = dark) with moduleSize pixels per module and quietZone
// light modules on every side. The parameters must be valid.
DM_API SymbolImage drawModules(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                               int quietZone);

// Encodes the message and draws it with moduleSize pixels per module and quietZone light
// modules on every side. Nothing when the parameters are out of range or the encoder fails.
DM_API std::optional<RenderedSymbol> RenderSymbol(std::span<const uint8_t> message, int moduleSize,
                                                  int quietZone);

}  // namespace dm
