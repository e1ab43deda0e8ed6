#include "tools/grade_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace dm::tool {
namespace {

using Colour = std::array<uint8_t, 3>;
constexpr Colour kOutline{0, 170, 0};
constexpr Colour kCentre{0, 90, 255};
constexpr Colour kFailed{230, 0, 0};
constexpr Colour kPoor{255, 150, 0};
constexpr Colour kPattern{200, 0, 200};

// Output pixels no wider or higher than this, unless one module alone needs more.
constexpr int kLargestSide = 2400;

struct Canvas {
    RgbImage image;
    double x0 = 0;  // picture coordinates of the canvas's top-left corner
    double y0 = 0;
    int scale = 1;

    ImagePoint toCanvas(ImagePoint p) const { return {(p.x - x0) * scale, (p.y - y0) * scale}; }

    void dot(int x, int y, const Colour& c) {
        if (x < 0 || y < 0 || x >= image.width || y >= image.height)
            return;
        std::copy(c.begin(), c.end(),
                  image.rgb.begin() + (static_cast<ptrdiff_t>(y) * image.width + x) * 3);
    }
    // A square of side 2 half + 1 around (x, y).
    void blob(double x, double y, int half, const Colour& c) {
        const auto cx = static_cast<int>(std::floor(x));
        const auto cy = static_cast<int>(std::floor(y));
        for (int dy = -half; dy <= half; ++dy) {
            for (int dx = -half; dx <= half; ++dx)
                dot(cx + dx, cy + dy, c);
        }
    }
    void line(ImagePoint a, ImagePoint b, int half, const Colour& c) {
        const double steps = std::max(1.0, std::ceil(length(b - a)));
        for (double i = 0; i <= steps; ++i)
            blob(a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps, half, c);
    }
    // The outline of a square of the given side (canvas pixels) around p.
    void frame(ImagePoint p, double side, const Colour& c) {
        const double h = side / 2;
        const std::array<ImagePoint, 4> q{
            {{p.x - h, p.y - h}, {p.x + h, p.y - h}, {p.x + h, p.y + h}, {p.x - h, p.y + h}}};
        for (size_t i = 0; i < q.size(); ++i)
            line(q[i], q[(i + 1) % q.size()], side >= 12 ? 1 : 0, c);
    }
};

// The image around the symbol (three modules beyond its outline), in gray lightened so that
// the marks stand out, enlarged by whole pixels.
// The image around every graded symbol, in gray, at the scale of the finest.
Canvas backdrop(const RgbImage& image, const std::vector<const SymbolGrade*>& grades) {
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    double finest = 1e300;
    for (const SymbolGrade* g : grades) {
        const SymbolGrade& grade = *g;
        const double margin = 3 * grade.moduleSize;
        finest = std::min(finest, grade.moduleSize);
        for (const ImagePoint& p : grade.corners) {
            x0 = std::min(x0, p.x - margin);
            x1 = std::max(x1, p.x + margin);
            y0 = std::min(y0, p.y - margin);
            y1 = std::max(y1, p.y + margin);
        }
    }
    const int left = std::clamp(static_cast<int>(std::floor(x0)), 0, image.width - 1);
    const int top = std::clamp(static_cast<int>(std::floor(y0)), 0, image.height - 1);
    const int right = std::clamp(static_cast<int>(std::ceil(x1)), left + 1, image.width);
    const int bottom = std::clamp(static_cast<int>(std::ceil(y1)), top + 1, image.height);
    Canvas canvas;
    canvas.x0 = left;
    canvas.y0 = top;
    canvas.scale = std::clamp(static_cast<int>(std::ceil(16 / std::max(finest, 0.5))), 1, 8);
    while (canvas.scale > 1 && std::max(right - left, bottom - top) * canvas.scale > kLargestSide)
        --canvas.scale;
    const int s = canvas.scale;
    canvas.image.width = (right - left) * s;
    canvas.image.height = (bottom - top) * s;
    canvas.image.rgb.resize(static_cast<size_t>(canvas.image.width) * canvas.image.height * 3);
    // Each picture pixel converted once, then drawn as an s x s square.
    for (int y = 0; y < bottom - top; ++y) {
        for (int x = 0; x < right - left; ++x) {
            const uint8_t* p =
                image.rgb.data() + (static_cast<ptrdiff_t>(top + y) * image.width + left + x) * 3;
            const auto level = static_cast<uint8_t>(96 + grayLevel(p[0], p[1], p[2]) * 159 /
                                                             255);  // black shows as dark gray
            for (int dy = 0; dy < s; ++dy) {
                for (int dx = 0; dx < s; ++dx)
                    canvas.dot(x * s + dx, y * s + dy, {level, level, level});
            }
        }
    }
    return canvas;
}

// One graded symbol's outline, module marks and damaged segments on the canvas.
void drawGrade(Canvas& canvas, const SymbolGrade& grade) {
    const double module = grade.moduleSize * canvas.scale;
    for (size_t i = 0; i < grade.corners.size(); ++i) {
        canvas.line(canvas.toCanvas(grade.corners[i]),
                    canvas.toCanvas(grade.corners[(i + 1) % grade.corners.size()]), 1, kOutline);
    }
    for (const ModuleReading& m : grade.modules) {
        const ImagePoint p = canvas.toCanvas(m.centre);
        if (module >= 6)
            canvas.blob(p.x, p.y, 1, kCentre);
        const uint8_t worst = std::min(m.modulationGrade, m.marginGrade);
        if (worst <= 1)
            canvas.frame(p, 0.7 * module, worst == 0 ? kFailed : kPoor);
    }
    for (const PatternSegment& s : grade.segments) {
        if (s.grade < 4 && s.kind != PatternSegment::Kind::ClockAndAlignment &&
            !s.modules.empty()) {
            canvas.line(canvas.toCanvas(grade.patternModules[s.modules.front()].centre),
                        canvas.toCanvas(grade.patternModules[s.modules.back()].centre), 1,
                        kPattern);
        }
        for (const int32_t m : s.damaged)
            canvas.frame(canvas.toCanvas(grade.patternModules[m].centre), 0.9 * module, kPattern);
    }
}

}  // namespace

RgbImage gradeReport(const RgbImage& image, const SymbolGrade& grade) {
    return gradeReport(image, std::span(&grade, 1));
}

RgbImage gradeReport(const RgbImage& image, std::span<const SymbolGrade> grades) {
    std::vector<const SymbolGrade*> located;
    for (const SymbolGrade& g : grades) {
        if (g.located)
            located.push_back(&g);
    }
    if (located.empty() || image.width <= 0 || image.height <= 0)
        return {};
    Canvas canvas = backdrop(image, located);
    for (const SymbolGrade* grade : located)
        drawGrade(canvas, *grade);
    return std::move(canvas.image);
}

}  // namespace dm::tool
