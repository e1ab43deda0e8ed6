#include "tools/grade_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/report_font.h"

namespace dm::tool {
namespace {

using Colour = std::array<uint8_t, 3>;
constexpr Colour kOutline{0, 170, 0};
constexpr Colour kCentre{0, 90, 255};
constexpr Colour kFailed{230, 0, 0};
constexpr Colour kPoor{255, 150, 0};
constexpr Colour kPattern{200, 0, 200};

constexpr Colour kText{30, 30, 30};
constexpr Colour kPaper{250, 250, 250};

// Output pixels no wider or higher than this, unless one module alone needs more.
constexpr int kLargestSide = 2400;

// A picture whose levels around the symbol span fewer than this many (between the 1st and the
// 99th percentile) is shown with its levels stretched to the whole range, so that a symbol of
// low contrast stays visible.
constexpr int kLowContrastSpan = 128;
constexpr double kLowPercentile = 0.01;
constexpr double kHighPercentile = 0.99;

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

// The image around every graded symbol (three modules beyond each outline), in gray, at the
// scale of the finest, lightened so that the marks stand out. A direct part mark is shown as
// exposed for its grade; levels of low contrast are stretched.
Canvas backdrop(const RgbImage& image, const std::vector<const SymbolGrade*>& grades,
                ShownLevels& shown) {
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
    // Each picture pixel converted once (exposed as the mark was, held at white).
    shown.exposure =
        grades.front()->mode == GradingMode::DirectPartMark ? grades.front()->exposure : 1.0;
    std::vector<uint8_t> levels(static_cast<size_t>(right - left) * (bottom - top));
    std::array<size_t, 256> histogram{};
    for (int y = 0; y < bottom - top; ++y) {
        for (int x = 0; x < right - left; ++x) {
            const uint8_t* p =
                image.rgb.data() + (static_cast<ptrdiff_t>(top + y) * image.width + left + x) * 3;
            const auto level = static_cast<uint8_t>(
                std::min(255.0, std::round(grayLevel(p[0], p[1], p[2]) * shown.exposure)));
            levels[static_cast<size_t>(y) * (right - left) + x] = level;
            ++histogram[level];
        }
    }
    auto percentile = [&](double share) {
        const auto wanted = static_cast<size_t>(share * static_cast<double>(levels.size()));
        size_t seen = 0;
        for (int v = 0; v < 256; ++v) {
            seen += histogram[static_cast<size_t>(v)];
            if (seen > wanted)
                return v;
        }
        return 255;
    };
    shown.low = percentile(kLowPercentile);
    shown.high = percentile(kHighPercentile);
    shown.stretched = shown.high - shown.low < kLowContrastSpan;
    const int span = std::max(1, shown.high - shown.low);
    for (int y = 0; y < bottom - top; ++y) {
        for (int x = 0; x < right - left; ++x) {
            int v = levels[static_cast<size_t>(y) * (right - left) + x];
            if (shown.stretched)
                v = std::clamp((v - shown.low) * 255 / span, 0, 255);
            const auto level = static_cast<uint8_t>(96 + v * 159 / 255);  // black as dark gray
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

// The canvas with the legend's lines below it, on paper, the canvas widened when a line needs
// it.
RgbImage withLegend(const RgbImage& picture, const std::vector<LegendLine>& lines) {
    constexpr int kTextScale = 2;
    const int pad = 4 * kTextScale;
    int width = picture.width;
    for (const LegendLine& line : lines)
        width = std::max(width, textWidth(line.text, kTextScale) + 2 * pad);
    const int height =
        picture.height + 2 * pad + static_cast<int>(lines.size()) * lineHeight(kTextScale);
    RgbImage out;
    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < out.rgb.size(); i += 3)
        std::copy(kPaper.begin(), kPaper.end(), out.rgb.begin() + static_cast<ptrdiff_t>(i));
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(picture.rgb.begin() + static_cast<ptrdiff_t>(y) * picture.width * 3,
                    picture.width * 3, out.rgb.begin() + static_cast<ptrdiff_t>(y) * width * 3);
    }
    int y = picture.height + pad;
    for (const LegendLine& line : lines) {
        drawText(out, pad, y, line.text, line.colour, kTextScale);
        y += lineHeight(kTextScale);
    }
    return out;
}

std::string formatted(const char* format, double a, double b = 0, double c = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

std::string measuredText(const ParameterGrade& p, GradingMode mode) {
    char text[32];
    if (!p.measured)
        return "not measured";
    if (mode == GradingMode::DirectPartMark && p.parameter == Parameter::MinimumReflectance) {
        std::snprintf(text, sizeof text, "%.0f %%", 100 * p.value);
        return text;
    }
    switch (p.parameter) {
        case Parameter::Decode:
            return p.value > 0 ? "pass" : "fail";
        case Parameter::SymbolContrast:
        case Parameter::UnusedErrorCorrection:
            std::snprintf(text, sizeof text, "%.0f %%", 100 * p.value);
            return text;
        case Parameter::FixedPatternDamage:
            std::snprintf(text, sizeof text, "%.0f module%s", p.value, p.value == 1 ? "" : "s");
            return text;
        default:
            std::snprintf(text, sizeof text, "%.3f", p.value);
            return text;
    }
}

std::vector<LegendLine> reportLegend(std::span<const SymbolGrade> grades,
                                     const ShownLevels& shown) {
    std::vector<LegendLine> lines;
    int number = 0;
    size_t located = 0;
    for (const SymbolGrade& g : grades)
        located += g.located;
    for (const SymbolGrade& g : grades) {
        ++number;
        if (!g.located)
            continue;
        const bool mark = g.mode == GradingMode::DirectPartMark;
        std::string head;
        if (located > 1)
            head.append("#").append(std::to_string(number)).append(" ");
        head.append(mark ? "direct part mark " : "print ")
            .append(formatted("%.0fx%.0f", g.symbolRows, g.symbolCols))
            .append(": overall ")
            .append(1, gradeLetter(g.overall))
            .append(formatted(" (%.1f)", g.overall));
        lines.push_back({head, kText});
        for (const ParameterGrade& p : g.parameters) {
            std::string line = "  ";
            line.append(parameterName(p.parameter, g.mode));
            line.resize(std::max<size_t>(line.size() + 1, 26), ' ');
            line.append(measuredText(p, g.mode));
            line.resize(std::max<size_t>(line.size() + 1, 40), ' ');
            line.append(p.measured ? std::string(1, gradeLetter(p.grade)) : "-");
            lines.push_back({line, kText});
        }
        if (mark) {
            lines.push_back(
                {formatted("  mean light %.0f %%, mean dark %.0f %% after exposure x%.2f",
                           100 * g.meanLight, 100 * g.meanDark, g.exposure),
                 kText});
        }
        if (g.gridFailure != GridFailure::None)
            lines.push_back({"  grid not measured", kFailed});
    }
    if (shown.exposure != 1.0)
        lines.push_back(
            {formatted("picture shown as exposed for grading (x%.2f)", shown.exposure), kText});
    if (shown.stretched) {
        lines.push_back({formatted("levels %.0f-%.0f stretched to black-white to show the symbol",
                                   shown.low, shown.high),
                         kText});
    }
    lines.push_back({"green: measured outline   blue: module centres", kOutline});
    lines.push_back({"red: module graded F   orange: graded D", kFailed});
    lines.push_back({"magenta: finder or quiet zone below A", kPattern});
    return lines;
}

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
    ShownLevels shown;
    Canvas canvas = backdrop(image, located, shown);
    for (const SymbolGrade* grade : located)
        drawGrade(canvas, *grade);
    return withLegend(canvas.image, reportLegend(grades, shown));
}

}  // namespace dm::tool
