#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/outline_search.h"

namespace dm {

// Projective map from symbol coordinates (u across the columns, v down the rows, in modules;
// (0, 0) the outer top-left corner) to stored pixel coordinates.
struct Homography {
    double a = 0, b = 0, c = 0;  // x = (a u + b v + c) / (g u + h v + 1)
    double d = 0, e = 0, f = 0;  // y = (d u + e v + f) / (g u + h v + 1)
    double g = 0, h = 0;

    Vec2 map(double u, double v) const {
        const double w = g * u + h * v + 1;
        return {(a * u + b * v + c) / w, (d * u + e * v + f) / w};
    }
};

// The map that takes the symbol's outer corners (0, 0), (cols, 0), (cols, rows), (0, rows) onto
// the four points (top left, top right, bottom right, bottom left); nothing when three of them
// are collinear.
std::optional<Homography> symbolToImage(const std::array<Vec2, 4>& corners, int32_t cols,
                                        int32_t rows);

// Share of the modules of the two alternating sides (far row and far column) that read as
// they must (dark, light, dark ...) against the tile thresholds, through the map of a
// rows x cols symbol; near 1 only for the right size. reach limits the modules read to that
// share of each side from its finder end, where an error at the far corner matters least.
double timingAgreement(const BinaryFrame& frame, const Homography& map, int32_t rows, int32_t cols,
                       double reach = 1.0);

// Moves the four corners (as for symbolToImage) so that the finder, the alternating sides and
// the quiet zone around them read as they must with the most contrast and the data modules read
// farthest from the threshold, in shrinking steps of at most step pixels per coordinate.
std::array<Vec2, 4> refineCorners(const BinaryFrame& frame, std::array<Vec2, 4> corners,
                                  int32_t rows, int32_t cols, double step);

// Gray level of every module, rows x cols in standard orientation: the mean of bilinear
// samples at the module's centre and a quarter module around it.
void sampleModules(const BinaryFrame& frame, const Homography& map, int32_t rows, int32_t cols,
                   std::vector<uint8_t>& levels);

// The same with the module centres given in symbol coordinates (us across the columns, vs down
// the rows, in order; a grid stretched unevenly has them unevenly spaced): the samples around a
// centre lie about a fifth of the local pitch away.
void sampleModulesAt(const BinaryFrame& frame, const Homography& map, std::span<const double> us,
                     std::span<const double> vs, std::vector<uint8_t>& levels);

// Levels with the blur that spreads each module into its neighbours partly undone: every
// level moves away from the weighted mean of its eight neighbours by amount times the
// difference.
void sharpenLevels(const std::vector<uint8_t>& levels, int32_t rows, int32_t cols, double amount,
                   std::vector<uint8_t>& out);

// Level between the dark and the light modules (two-class means); a module is dark when its
// level is at most the result.
uint8_t splitLevels(const std::vector<uint8_t>& levels);

}  // namespace dm
