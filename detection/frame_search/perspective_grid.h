#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/outline_search.h"
#include "detection/shared/geometry.h"

namespace dm {

// Share of the modules of the two alternating sides (far row and far column) that read as
// they must (dark, light, dark ...) against the tile thresholds, through the map of a
// rows x cols symbol; near 1 only for the right size. reach limits the modules read to that
// share of each side from its finder end, where an error at the far corner matters least.
double timingAgreement(const BinaryFrame& frame, const Homography& map, int32_t rows, int32_t cols,
                       double reach = 1.0);

// Coordinate ascent on four corners: each coordinate in turn moves by +step or -step where the
// move is allowed (allowed(corners, k) for corner k after the move) and raises score(corners),
// for up to rounds rounds per step, the step halving down to 0.2 pixel.
template <class Score, class Allowed>
std::array<PointD, 4> climbCorners(std::array<PointD, 4> corners, double step, int rounds,
                                   Score&& score, Allowed&& allowed) {
    double best = score(corners);
    for (; step >= 0.2; step /= 2) {
        for (int round = 0; round < rounds; ++round) {
            bool moved = false;
            for (size_t k = 0; k < 8; ++k) {
                double& coord = k % 2 == 0 ? corners[k / 2].x : corners[k / 2].y;
                for (const double delta : {step, -step}) {
                    coord += delta;
                    if (allowed(corners, k / 2)) {
                        const double s = score(corners);
                        if (s > best) {
                            best = s;
                            moved = true;
                            break;
                        }
                    }
                    coord -= delta;
                }
            }
            if (!moved)
                break;
        }
    }
    return corners;
}

// Moves the four corners (as for symbolToImage) so that the finder, the alternating sides and
// the quiet zone around them read as they must with the most contrast and the data modules read
// farthest from the threshold, in shrinking steps of at most step pixels per coordinate.
std::array<PointD, 4> refineCorners(const BinaryFrame& frame, std::array<PointD, 4> corners,
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

// The map refitted to where the dark modules' ink lies: each dark module's darkness-weighted
// centre within a module of where the map puts it, the modules of the finder and alternating
// sides first and then every module the sampling reads dark, with the map fitted to those
// centres by least squares, three rounds. Separate dots (dot-peen marks, ink loss) are found a
// fraction of a module inside the outline of their outer edges; this puts the grid on their
// centres. Nothing when too few dark modules show their centre. levels is working space.
std::optional<Homography> fitToDarkCentres(const BinaryFrame& frame, const Homography& map,
                                           int32_t rows, int32_t cols,
                                           std::vector<uint8_t>& levels);

// Levels with the blur that spreads each module into its neighbours partly undone: every
// level moves away from the weighted mean of its eight neighbours by amount times the
// difference.
void sharpenLevels(const std::vector<uint8_t>& levels, int32_t rows, int32_t cols, double amount,
                   std::vector<uint8_t>& out);

// Level between the dark and the light modules (two-class means); a module is dark when its
// level is at most the result.
uint8_t splitLevels(const std::vector<uint8_t>& levels);

}  // namespace dm
