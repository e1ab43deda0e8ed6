#pragma once

#include <cstdint>
#include <optional>

#include "detection/shared/decoder_records.h"

namespace dm {

// A dark run along a straight line. p0 is the end reached walking in the line's positive
// direction (+y for steep lines, +x for shallow ones), p1 the end reached walking back; once an
// arm has been validated, p0 is its corner end and p1 its far end.
struct Segment {
    Point p0;
    Point p1;
    int32_t angle = 0;   // whole degrees
    int32_t length = 0;  // dark pixels counted for the run
};

// A cursor that moves somebody else's point along a line at a whole-degree angle.
struct LineStepper {
    Point* point = nullptr;  // not owned
    int32_t angle = 0;       // whole degrees
    int32_t step = 0;        // +1 or -1: sense of travel along the major axis; 0 when unset
};

// Angles of 180 and above denote the same line as the angle minus 180. Steep lines (46-134,
// 225-314) are walked along y, shallow ones along x. Dark means value <= image.threshold.

// Moves the stepper's point by distance x step along its angle; true when it ends inside.
bool stepAlongLine(const GrayImage& image, LineStepper& stepper, int32_t distance);

// Dark run through the point along the angle, both ways; the point itself is counted once.
Segment crossRun(const GrayImage& image, Point point, int32_t angle);

// Consecutive dark pixels from the stepper's point in its direction, the start included.
// The point is not moved.
int32_t runFrom(const GrayImage& image, const LineStepper& stepper);

// Dark pixels on the line at the angle through a, inside the box spanned by a and b;
// -1 when a or b is not inside.
int32_t countDarkOnLine(const GrayImage& image, int32_t angle, Point a, Point b);

// Moves both ends amount pixels toward each other; false when an end leaves the inside area.
bool trimSegment(const GrayImage& image, Segment& segment, int32_t amount);

// Moves both ends distance pixels along the perpendicular; false when an end leaves the
// inside area.
bool shiftSegment(const GrayImage& image, Segment& segment, int32_t distance);

// Recomputes the segment's angle (0-179) from its end points.
void segmentAngle(Segment& segment);

// length / moduleSize rounded; 0 when moduleSize < 1.
int32_t modulesAlong(const Segment& segment, int32_t moduleSize);

// Both arms of a finder span at least seven modules between the centres of their end modules,
// measured in half pixels and rounded as the sampling grid measures them. Half a module is
// allowed: the short arm of an 8-row rectangle is exactly seven modules, and its rounded end
// points often fall just short.
bool armsSpanSevenModules(Point corner, Point xEnd, Point yEnd, int32_t moduleSize);

// The longest dark line through the point among fromAngle, fromAngle + angleStep, ... below
// toAngle. Nothing when the point is light.
std::optional<Segment> bestLineThrough(const GrayImage& image, Point point, int32_t fromAngle,
                                       int32_t toAngle, int32_t angleStep);

// Extends the stepper's point outward along pixels of value 0; returns the steps taken.
int32_t followEdge(const GrayImage& image, LineStepper& stepper);

}  // namespace dm
