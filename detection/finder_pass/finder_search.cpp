#include "detection/finder_pass/finder_search.h"

#include <algorithm>

#include "detection/finder_pass/finder_candidate.h"
#include "detection/finder_pass/finder_internals.h"

namespace dm {
namespace {

bool isDark(const GrayImage& image, int32_t x, int32_t y) {
    return isDarkPixel(image, x, y);
}

// A candidate is a dark pixel followed by another dark one, with light three or four pixels
// further on: it lies two or three pixels inside the far edge of a dark run. The scans keep
// every examined pixel within the row or column, whatever the seed and radius.

}  // namespace

bool scanLeft(DetectionContext& context, const SearchSeed& seed) {
    const GrayImage& image = *context.image;
    if (seed.y < 0 || seed.y >= image.height)
        return false;
    const int32_t y = seed.y;
    const int32_t last = std::max(seed.x - seed.radius, 4);
    for (int32_t x = std::min(seed.x, image.width - 1); x >= last; --x) {
        if (isDark(image, x, y) && isDark(image, x - 1, y) &&
            (!isDark(image, x - 3, y) || !isDark(image, x - 4, y)) &&
            testFinderCandidate(context, {x, y}, ScanDirection::Left)) {
            return true;
        }
    }
    return false;
}

bool scanRight(DetectionContext& context, const SearchSeed& seed) {
    const GrayImage& image = *context.image;
    if (seed.y < 0 || seed.y >= image.height)
        return false;
    const int32_t y = seed.y;
    const int32_t last = std::min(seed.x + seed.radius, image.width - 5);
    for (int32_t x = std::max(seed.x, 0); x <= last; ++x) {
        if (isDark(image, x, y) && isDark(image, x + 1, y) &&
            (!isDark(image, x + 3, y) || !isDark(image, x + 4, y)) &&
            testFinderCandidate(context, {x, y}, ScanDirection::Right)) {
            return true;
        }
    }
    return false;
}

bool scanDown(DetectionContext& context, const SearchSeed& seed) {
    const GrayImage& image = *context.image;
    if (seed.x < 0 || seed.x >= image.width)
        return false;
    const int32_t x = seed.x;
    const int32_t last = std::min(seed.y + seed.radius, image.height - 5);
    for (int32_t y = std::max(seed.y, 0); y <= last; ++y) {
        if (isDark(image, x, y) && isDark(image, x, y + 1) &&
            (!isDark(image, x, y + 3) || !isDark(image, x, y + 4)) &&
            testFinderCandidate(context, {x, y}, ScanDirection::Down)) {
            return true;
        }
    }
    return false;
}

bool scanUp(DetectionContext& context, const SearchSeed& seed) {
    const GrayImage& image = *context.image;
    if (seed.x < 0 || seed.x >= image.width)
        return false;
    const int32_t x = seed.x;
    const int32_t last = std::max(seed.y - seed.radius, 4);
    for (int32_t y = std::min(seed.y, image.height - 1); y >= last; --y) {
        if (isDark(image, x, y) && isDark(image, x, y - 1) &&
            (!isDark(image, x, y - 3) || !isDark(image, x, y - 4)) &&
            testFinderCandidate(context, {x, y}, ScanDirection::Up)) {
            return true;
        }
    }
    return false;
}

namespace {

// Left and right scans with the seed's radius, then down and up scans with verticalRadius
// (which is written into the seed).
bool searchAroundSeed(DetectionContext& context, SearchSeed& seed, int32_t verticalRadius) {
    if (scanLeft(context, seed) || scanRight(context, seed))
        return true;
    seed.radius = verticalRadius;
    return scanDown(context, seed) || scanUp(context, seed);
}

}  // namespace

bool findFinder(DecodeStatus& status, DetectionContext& context) {
    const int32_t w = context.image->width;
    const int32_t h = context.image->height;
    context.searchResult = SearchResult::NothingFound;

    // The centre first, then the quarter centres. Seeds 3 to 5 keep the radius the previous
    // search left behind, which is the vertical one of seed 2.
    SearchSeed seed{w / 2, h / 2, w / 2 - 5};
    if (searchAroundSeed(context, seed, h / 2 - 5))
        return true;
    seed = {5 * w / 16, 5 * h / 16, 3 * w / 16};
    if (searchAroundSeed(context, seed, 3 * h / 16))
        return true;
    seed.x = 11 * w / 16;
    seed.y = 5 * h / 16;
    if (searchAroundSeed(context, seed, 3 * h / 16))
        return true;
    seed.x = 5 * w / 16;
    seed.y = 11 * h / 16;
    if (searchAroundSeed(context, seed, 3 * h / 16))
        return true;
    seed.x = 11 * w / 16;
    seed.y = 11 * h / 16;
    if (searchAroundSeed(context, seed, 3 * h / 16))
        return true;

    // Then lines near the borders.
    seed = {w / 2, 7 * h / 8, w / 2 - 5};
    if (scanLeft(context, seed) || scanRight(context, seed))
        return true;
    seed.y = h / 8;
    if (scanLeft(context, seed) || scanRight(context, seed))
        return true;
    seed = {w / 8, h / 2, h / 2 - 5};
    if (scanDown(context, seed) || scanUp(context, seed))
        return true;
    seed.x = 7 * w / 8;
    if (scanDown(context, seed) || scanUp(context, seed))
        return true;

    status = context.searchResult == SearchResult::FirstArm ? DecodeStatus::NoFinderAfterFirstArm
                                                            : DecodeStatus::NoFinder;
    return false;
}

}  // namespace dm
