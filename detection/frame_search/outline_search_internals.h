#pragma once

// Steps of the outline search that its tests reach. Not for other callers: searchOutlines is the
// stage's interface.

#include <array>
#include <optional>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/outline_search.h"
#include "detection/shared/geometry.h"

namespace dm::outline_internals {

// Convex hull of s.outline (sorted by x, then y) into s.hull, counter-clockwise in (x, y) from
// the first point (monotone chain); points on a hull side are left out.
void convexHull(OutlineSearchScratch& s);

// The side from p to q fitted to the points of s.outline beside it, directed from p to q.
// outward is the unit normal pointing away from the quadrilateral. The outer envelope is wanted:
// on an alternating side the outline also runs one module further in, past the light modules.
std::optional<Line> fitSide(OutlineSearchScratch& s, Vec2 p, Vec2 q, Vec2 outward);

// Finder thickness: the lower quartile of the dark runs inward from the two solid sides (from
// corner toward each of ends, inward along inwards); 0 when too few runs are dark.
double finderThickness(const BinaryFrame& f, OutlineSearchScratch& s, Vec2 corner,
                       const std::array<Vec2, 2>& ends, const std::array<Vec2, 2>& inwards);

// Outer edge of the alternating side that starts at the end of a solid side: base is the
// finder's corner, span the other solid side, out the unit direction of the first solid side
// and reach0 its length; the side may lie up to beyond modules further out as well (the arm's
// last modules missing). None when too few rays find an edge on one line.
std::optional<Line> traceFarSide(const BinaryFrame& f, OutlineSearchScratch& s, Vec2 base,
                                 Vec2 span, Vec2 out, double reach0, double module,
                                 double beyond = 0);

}  // namespace dm::outline_internals
