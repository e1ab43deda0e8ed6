#include "decoder/picture_attempts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace dm {
namespace {

// Module sizes in pixels to enlarge to, likeliest to read first. The detection reads clean
// modules of 3 to about 12 pixels at every symbol size, squares well beyond; 2 pixels are too
// fine for it.
constexpr std::array<double, 6> kModuleTargets = {6, 4, 9, 3, 13, 20};

// Lines sampled each way for the module size estimate, and the fewest runs to trust it.
constexpr int kSurveyLines = 256;
constexpr size_t kFewestRuns = 32;

// What a quick look at the image tells: its darkest and lightest levels, the box around its
// dark pixels (those at or below the middle level) and the module size, estimated as the
// lower quartile of the dark and light runs along sampled rows and columns (half of a data
// region's runs are one module long). 0 when there are too few runs to tell.
struct Survey {
    int darkest = 255;
    int lightest = 0;
    Region ink;
    double moduleSize = 0;
};

Survey surveyImage(const GrayView& image) {
    Survey s;
    const auto [low, high] = std::minmax_element(image.gray.begin(), image.gray.end());
    s.darkest = *low;
    s.lightest = *high;
    if (s.darkest == s.lightest)
        return s;
    const int mid = (s.darkest + s.lightest) / 2;
    auto at = [&](int x, int y) { return image.gray[static_cast<size_t>(y) * image.width + x]; };
    int left = image.width, right = -1, top = image.height, bottom = -1;
    for (int y = 0; y < image.height; ++y) {
        int x = 0;
        while (x < image.width && at(x, y) > mid)
            ++x;
        if (x == image.width)
            continue;
        int last = image.width - 1;
        while (at(last, y) > mid)
            --last;
        left = std::min(left, x);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    s.ink = {left, top, right - left + 1, bottom - top + 1};

    // Runs that touch the box's edge are cut short or are margin; they are left out.
    std::vector<int> runs;
    auto collect = [&](auto level, int length) {
        int start = 0;
        for (int i = 1; i <= length; ++i) {
            if (i < length && (level(i) <= mid) == (level(start) <= mid))
                continue;
            if (start > 0 && i < length)
                runs.push_back(i - start);
            start = i;
        }
    };
    const Region& box = s.ink;
    for (int y = box.y; y < box.y + box.height; y += std::max(1, box.height / kSurveyLines))
        collect([&](int i) { return at(box.x + i, y); }, box.width);
    for (int x = box.x; x < box.x + box.width; x += std::max(1, box.width / kSurveyLines))
        collect([&](int i) { return at(x, box.y + i); }, box.height);
    if (runs.size() >= kFewestRuns) {
        auto quartile = runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 4);
        std::nth_element(runs.begin(), quartile, runs.end());
        s.moduleSize = *quartile;
    }
    return s;
}

// Light pixels between the dark ones and the nearest edge of the image.
int lightMargin(const Region& ink, const GrayView& image) {
    return std::min(
        {ink.x, ink.y, image.width - ink.x - ink.width, image.height - ink.y - ink.height});
}

// The box grown by margin pixels on every side, within the image.
Region grown(const Region& box, int margin, const GrayView& image) {
    const int left = std::max(0, box.x - margin);
    const int top = std::max(0, box.y - margin);
    const int right = std::min(image.width, box.x + box.width + margin);
    const int bottom = std::min(image.height, box.y + box.height + margin);
    return {left, top, right - left, bottom - top};
}

int64_t framedPixels(const Attempt& a) {
    const int64_t border = borderWidth(a.region, a.scale);
    return (int64_t{a.region.width} * a.scale + 2 * border) *
           (int64_t{a.region.height} * a.scale + 2 * border);
}

}  // namespace

int cameraScale(int shortSide) {
    return shortSide > 0 && shortSide < kEnlargedShortSide
               ? (kEnlargedShortSide + shortSide - 1) / shortSide
               : 1;
}

int borderWidth(const Region& region, int scale) {
    return std::max(16, std::min(region.width, region.height) * scale / 4);
}

std::vector<Attempt> planAttempts(const GrayView& image, std::string& why) {
    const int shortSide = std::min(image.width, image.height);
    const int longSide = std::max(image.width, image.height);
    if (shortSide < kSmallestSymbolRows || longSide < kSmallestSymbolCols) {
        why = "the image is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
              " pixels, too small to hold a symbol (at least " +
              std::to_string(kSmallestSymbolCols) + " x " + std::to_string(kSmallestSymbolRows) +
              " pixels)";
        return {};
    }
    const Survey s = surveyImage(image);
    const bool blank = s.darkest == s.lightest;
    // Enlarged attempts work on the dark part of the image and a margin of light around it.
    const double module = s.moduleSize;
    const Region whole{0, 0, image.width, image.height};
    const Region work =
        blank ? whole : grown(s.ink, std::max(8, static_cast<int>(4 * module)), image);
    std::vector<Attempt> plan;
    auto add = [&](Attempt a) {
        if (a.framed && framedPixels(a) > kMaxFramedPixels) {
            a.region = work;
            if (framedPixels(a) > kMaxFramedPixels)
                return;
        }
        if (static_cast<int>(plan.size()) == kMaxAttempts)
            return;
        const bool planned = std::any_of(plan.begin(), plan.end(), [&](const Attempt& p) {
            return p.framed == a.framed && p.scale == a.scale;
        });
        if (!planned)
            plan.push_back(a);
    };
    const bool cameraSized = shortSide >= kEnlargedShortSide;
    if (cameraSized) {
        // As a camera would see it; framed in light only when the dark parts come within two
        // modules of an edge, as when the file is cropped close to the symbol.
        add({1, false, whole});
        if (!blank && lightMargin(s.ink, image) < std::max(2.0, 2 * module))
            add({1, true, whole});
    } else {
        add({cameraScale(shortSide), true, whole});
    }
    if (plan.empty())  // a small image too long to enlarge whole: as it is
        add({1, false, whole});
    // A blank image gets the first attempt alone, for the decoder's own verdict: nothing else
    // could show a symbol.
    if (module > 0 && !blank) {
        for (const double target : kModuleTargets) {
            const int scale = std::max(1, static_cast<int>(std::lround(target / module)));
            if (cameraSized && scale == 1)
                continue;
            add({scale, true, work});
        }
    }
    return plan;
}

GrayPicture framedPicture(const GrayView& image, const Attempt& attempt) {
    const int scale = std::max(attempt.scale, 1);
    const Region& r = attempt.region;
    const int border = borderWidth(r, scale);
    GrayPicture out;
    out.width = r.width * scale + 2 * border;
    out.height = r.height * scale + 2 * border;
    out.gray.assign(static_cast<size_t>(out.width) * out.height, 255);
    for (int y = 0; y < r.height * scale; ++y) {
        const uint8_t* in =
            image.gray.data() + static_cast<size_t>(r.y + y / scale) * image.width + r.x;
        uint8_t* row = out.gray.data() + static_cast<size_t>(y + border) * out.width + border;
        for (int x = 0; x < r.width * scale; ++x)
            row[x] = in[x / scale];
    }
    return out;
}

}  // namespace dm
