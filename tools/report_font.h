#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/image_files.h"

namespace dm::tool {

// A 5 x 7 pixel font for the legends of report pictures: capitals (lower-case letters are drawn
// as capitals), digits and the punctuation of measured values; other characters leave a gap.

using TextColour = std::array<uint8_t, 3>;

// Pixels from the first glyph's left edge to the end of the last at the scale (each font pixel
// drawn as scale x scale).
int textWidth(std::string_view text, int scale);

// The height of a line of text at the scale, the gap to the next line included.
int lineHeight(int scale);

// Draws text with its top-left corner at (x, y); what falls outside the image is left out.
void drawText(RgbImage& image, int x, int y, std::string_view text, const TextColour& colour,
              int scale);

}  // namespace dm::tool
