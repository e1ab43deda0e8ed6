#include "tests/support/frame_synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace dm::test {
namespace {

constexpr int kRasterScale = 8;  // raster pixels per module for the anti-aliased source

struct Placement {
    double cosT;
    double sinT;
    double cx;  // symbol centre in picture coordinates
    double cy;
};

Placement placementOf(const SynthOptions& o) {
    const double t = o.rotationDeg * std::numbers::pi / 180.0;
    return {std::cos(t), std::sin(t), o.width / 2.0 + o.offsetX, o.height / 2.0 + o.offsetY};
}

// Symbol coordinates (modules, x right, y down, origin at the symbol centre) to picture.
PointD toPicture(const Placement& p, double s, double dx, double dy) {
    return {p.cx + s * (dx * p.cosT + dy * p.sinT), p.cy + s * (-dx * p.sinT + dy * p.cosT)};
}

bool isDistorted(const SynthOptions& o) {
    return o.stretch != 1.0 || o.shear != 0.0 || o.bend != 0.0;
}

// Where the print distortions draw symbol coordinates (as for toPicture) of a symbol cols wide.
// Without distortions the coordinates stay exactly as they are.
PointD distorted(const SynthOptions& o, int cols, double dx, double dy) {
    if (!isDistorted(o))
        return {dx, dy};
    const double u = dx + cols / 2.0;
    const double bent = u + o.bend * std::sin(std::numbers::pi * u / cols);
    return {(bent - cols / 2.0 + o.shear * dy) * o.stretch, dy};
}

// The symbol coordinates distorted() draws at (ex, ey); the bend undone by Newton's method.
PointD undistorted(const SynthOptions& o, int cols, double ex, double ey) {
    if (!isDistorted(o))
        return {ex, ey};
    const double bent = ex / o.stretch - o.shear * ey + cols / 2.0;
    double u = bent;
    const double k = std::numbers::pi / cols;
    for (int i = 0; i < 8 && o.bend != 0; ++i)
        u -= (u + o.bend * std::sin(k * u) - bent) / (1 + o.bend * k * std::cos(k * u));
    return {u - cols / 2.0, ey};
}

PointD drawnAt(const Placement& p, const SynthOptions& o, int cols, double dx, double dy) {
    const PointD e = distorted(o, cols, dx, dy);
    return toPicture(p, o.moduleSize, e.x, e.y);
}

std::vector<float> gaussianKernel(double sigma) {
    const int r = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
    std::vector<float> k(2 * r + 1);
    double sum = 0;
    for (int i = -r; i <= r; ++i) {
        k[i + r] = static_cast<float>(std::exp(-(i * i) / (2 * sigma * sigma)));
        sum += k[i + r];
    }
    for (auto& v : k)
        v = static_cast<float>(v / sum);
    return k;
}

}  // namespace

void gaussianBlur(std::vector<float>& img, int w, int h, double sigma) {
    const auto k = gaussianKernel(sigma);
    const int r = static_cast<int>(k.size() / 2);
    std::vector<float> tmp(img.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int i = -r; i <= r; ++i)
                acc += k[i + r] * img[y * w + std::clamp(x + i, 0, w - 1)];
            tmp[y * w + x] = acc;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int i = -r; i <= r; ++i)
                acc += k[i + r] * tmp[std::clamp(y + i, 0, h - 1) * w + x];
            img[y * w + x] = acc;
        }
    }
}

SynthFrame synthesiseFrame(std::span<const uint8_t> matrix, int rows, int cols,
                           const SynthOptions& o) {
    // Source raster: symbol plus quiet zone, kRasterScale pixels per module.
    const int q = o.quietZone;
    const int rw = (cols + 2 * q) * kRasterScale;
    const int rh = (rows + 2 * q) * kRasterScale;
    std::vector<float> raster(static_cast<size_t>(rw) * rh, o.light);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (!matrix[r * cols + c])
                continue;
            for (int y = 0; y < kRasterScale; ++y) {
                for (int x = 0; x < kRasterScale; ++x) {
                    raster[((r + q) * kRasterScale + y) * rw + (c + q) * kRasterScale + x] = o.dark;
                }
            }
        }
    }
    auto rasterAt = [&](int x, int y) -> float {
        if (x < 0 || y < 0 || x >= rw || y >= rh)
            return o.background;
        return raster[y * rw + x];
    };

    const Placement p = placementOf(o);
    const double s = o.moduleSize;
    std::vector<float> gray(static_cast<size_t>(o.width) * o.height);
    for (int py = 0; py < o.height; ++py) {
        for (int px = 0; px < o.width; ++px) {
            // Picture pixel centre back to symbol coordinates.
            const double vx = (px + 0.5 - p.cx) / s;
            const double vy = (py + 0.5 - p.cy) / s;
            const PointD d =
                undistorted(o, cols, vx * p.cosT - vy * p.sinT, vx * p.sinT + vy * p.cosT);
            const double dx = d.x;
            const double dy = d.y;
            const double rx = (dx + cols / 2.0 + q) * kRasterScale - 0.5;
            const double ry = (dy + rows / 2.0 + q) * kRasterScale - 0.5;
            const int x0 = static_cast<int>(std::floor(rx));
            const int y0 = static_cast<int>(std::floor(ry));
            const double fx = rx - x0;
            const double fy = ry - y0;
            const double v = (1 - fy) * ((1 - fx) * rasterAt(x0, y0) + fx * rasterAt(x0 + 1, y0)) +
                             fy * ((1 - fx) * rasterAt(x0, y0 + 1) + fx * rasterAt(x0 + 1, y0 + 1));
            gray[py * o.width + px] = static_cast<float>(v);
        }
    }
    if (o.blurSigma > 0)
        gaussianBlur(gray, o.width, o.height, o.blurSigma);
    std::mt19937 rng(o.seed);
    return frameOfGray(grayLevels(gray, o.noiseSigma, rng), o.width, o.height);
}

std::vector<uint8_t> grayLevels(std::span<const float> image, double noiseSigma,
                                std::mt19937& rng) {
    std::normal_distribution<float> noise(0.0f, static_cast<float>(noiseSigma));
    std::vector<uint8_t> levels(image.size());
    for (size_t i = 0; i < image.size(); ++i) {
        const float v = noiseSigma > 0 ? image[i] + noise(rng) : image[i];
        levels[i] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
    return levels;
}

SynthFrame frameOfGray(std::span<const uint8_t> gray, int width, int height) {
    SynthFrame f{width, height, static_cast<int>(CFrameDib::stride(width, 24)), {}};
    f.bgr.assign(static_cast<size_t>(f.stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = f.bgr.data() + static_cast<size_t>(height - 1 - y) * f.stride;
        for (int x = 0; x < width; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = gray[static_cast<size_t>(y) * width + x];
    }
    return f;
}

std::vector<uint8_t> bgrxPixels(const SynthFrame& frame, uint8_t spare) {
    std::vector<uint8_t> out;
    for (int row = 0; row < frame.height; ++row) {
        const uint8_t* p = frame.bgr.data() + static_cast<size_t>(row) * frame.stride;
        for (int x = 0; x < frame.width; ++x, p += 3)
            out.insert(out.end(), {p[0], p[1], p[2], spare});
    }
    return out;
}

std::vector<uint8_t> grayPixels(const SynthFrame& frame) {
    std::vector<uint8_t> gray(static_cast<size_t>(frame.width) * frame.height);
    for (int i = 0; i < frame.height; ++i) {
        const uint8_t* row = frame.bgr.data() + static_cast<size_t>(i) * frame.stride;
        for (int j = 0; j < frame.width; ++j) {
            gray[static_cast<size_t>(i) * frame.width + j] = static_cast<uint8_t>(
                (59 * row[3 * j + 1] + 30 * row[3 * j + 2] + 11 * row[3 * j]) / 100);
        }
    }
    return gray;
}

CFrameDib cameraFrame(int width, int height, int bitCount, std::span<const uint8_t> pixels) {
    const BitmapInfoHeader header = frameHeader(width, height, static_cast<uint16_t>(bitCount));
    CFrameDib dib;
    dib.Create(&header, pixels);
    return dib;
}

CFrameDib cameraFrame(const SynthFrame& frame) {
    return cameraFrame(frame.width, frame.height, 24, frame.bgr);
}

PointD moduleCentreInGray(int rows, int cols, int row, int col, const SynthOptions& o) {
    const Placement p = placementOf(o);
    const PointD pic = drawnAt(p, o, cols, col + 0.5 - cols / 2.0, row + 0.5 - rows / 2.0);
    // Gray row i is picture row height - 1 - i; pixel centres sit at integer + 0.5.
    return {pic.x - 0.5, o.height - 1 - (pic.y - 0.5)};
}

std::array<PointD, 4> symbolCornersInPicture(int rows, int cols, const SynthOptions& o) {
    const Placement p = placementOf(o);
    const double hx = cols / 2.0;
    const double hy = rows / 2.0;
    return {drawnAt(p, o, cols, -hx, -hy), drawnAt(p, o, cols, hx, -hy),
            drawnAt(p, o, cols, hx, hy), drawnAt(p, o, cols, -hx, hy)};
}

bool symbolFits(int rows, int cols, const SynthOptions& o) {
    const Placement p = placementOf(o);
    const double hx = cols / 2.0 + o.quietZone;
    const double hy = rows / 2.0 + o.quietZone;
    for (const auto& [dx, dy] : {std::pair{-hx, -hy}, {hx, -hy}, {-hx, hy}, {hx, hy}}) {
        const PointD c = drawnAt(p, o, cols, dx, dy);
        if (c.x < 1 || c.y < 1 || c.x > o.width - 2 || c.y > o.height - 2)
            return false;
    }
    return true;
}

SynthOptions fitted(int rows, int cols, SynthOptions options, int growWidth, int growHeight) {
    while (!symbolFits(rows, cols, options)) {
        options.width += growWidth;
        options.height += growHeight;
    }
    return options;
}

GrownPrint printGrown(std::span<const uint8_t> matrix, int rows, int cols, int modulePixels,
                      double growthX, double growthY, int quiet) {
    auto darkModule = [&](int r, int c) {
        return r >= 0 && c >= 0 && r < rows && c < cols && matrix[r * cols + c] != 0;
    };
    // Spread (g > 0) makes a point dark when some dark point lies within g of it along the axis,
    // loss (g < 0) keeps it dark only when every point within |g| is dark; the modules the span
    // [at - |g|, at + |g|] overlaps decide.
    auto spanDark = [](double at, double g, auto dark) {
        const int first = static_cast<int>(std::floor(at - std::abs(g)));
        const int last = static_cast<int>(std::ceil(at + std::abs(g))) - 1;
        for (int k = first; k <= last; ++k) {
            if (dark(k) == (g > 0))
                return g > 0;
        }
        return g <= 0 && dark(static_cast<int>(std::floor(at)));
    };
    auto inked = [&](double x, double y) {
        return spanDark(y, growthY, [&](int r) {
            return spanDark(x, growthX, [&](int c) { return darkModule(r, c); });
        });
    };
    constexpr int kSamples = 8;
    GrownPrint out;
    out.width = (cols + 2 * quiet) * modulePixels;
    out.height = (rows + 2 * quiet) * modulePixels;
    out.gray.resize(static_cast<size_t>(out.width) * out.height);
    for (int py = 0; py < out.height; ++py) {
        for (int px = 0; px < out.width; ++px) {
            int dark = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double x = (px + (sx + 0.5) / kSamples) / modulePixels - quiet;
                    const double y = (py + (sy + 0.5) / kSamples) / modulePixels - quiet;
                    dark += inked(x, y);
                }
            }
            out.gray[static_cast<size_t>(py) * out.width + px] = static_cast<uint8_t>(
                std::lround(255.0 * (kSamples * kSamples - dark) / (kSamples * kSamples)));
        }
    }
    return out;
}

DotPeenMark dotPeenMark(std::span<const uint8_t> matrix, int rows, int cols,
                        const DotPeenOptions& o) {
    std::mt19937 rng(o.seed);
    std::uniform_real_distribution<double> offset(-o.jitter, o.jitter);
    DotPeenMark m;
    m.dotCentres.resize(static_cast<size_t>(rows) * cols);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const double dx = o.jitter > 0 ? offset(rng) : 0;
            const double dy = o.jitter > 0 ? offset(rng) : 0;
            m.dotCentres[static_cast<size_t>(r) * cols + c] = {c + 0.5 + dx, r + 0.5 + dy};
        }
    }
    // The dot radius in pixels; a dot may reach into the modules around its own.
    const double radius = o.dotDiameter * std::min(o.cellWidth, o.cellHeight) / 2;
    auto dotCovers = [&](double u, double v) {
        const int c0 = static_cast<int>(std::floor(u)), r0 = static_cast<int>(std::floor(v));
        for (int r = r0 - 1; r <= r0 + 1; ++r) {
            for (int c = c0 - 1; c <= c0 + 1; ++c) {
                if (r < 0 || c < 0 || r >= rows || c >= cols || !matrix[r * cols + c])
                    continue;
                const PointD d = m.dotCentres[static_cast<size_t>(r) * cols + c];
                if (std::hypot((u - d.x) * o.cellWidth, (v - d.y) * o.cellHeight) < radius)
                    return true;
            }
        }
        return false;
    };
    constexpr int kSamples = 4;
    m.width = static_cast<int>(std::lround((cols + 2 * o.quiet) * o.cellWidth));
    m.height = static_cast<int>(std::lround((rows + 2 * o.quiet) * o.cellHeight));
    std::vector<float> image(static_cast<size_t>(m.width) * m.height);
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            int dark = 0;
            for (int k = 0; k < kSamples * kSamples; ++k) {
                const double u = (x + (k % kSamples + 0.5) / kSamples) / o.cellWidth - o.quiet;
                const double v = (y + (k / kSamples + 0.5) / kSamples) / o.cellHeight - o.quiet;
                dark += dotCovers(u, v);
            }
            image[static_cast<size_t>(y) * m.width + x] = static_cast<float>(
                o.surface - (o.surface - o.dotLevel) * dark / (kSamples * kSamples));
        }
    }
    if (o.blurSigma > 0)
        gaussianBlur(image, m.width, m.height, o.blurSigma);
    m.gray = grayLevels(image, o.noiseSigma, rng);
    const double x0 = o.quiet * o.cellWidth, y0 = o.quiet * o.cellHeight;
    const double x1 = x0 + cols * o.cellWidth, y1 = y0 + rows * o.cellHeight;
    m.corners = {{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}};
    return m;
}

double bowedColumnsDeviation(int cols, double bend) {
    std::vector<double> x;
    for (int c = 0; c < cols; ++c)
        x.push_back(c + 0.5 + bend * std::sin(std::numbers::pi * (c + 0.5) / cols));
    double su = 0, sx = 0, suu = 0, sux = 0;
    for (int c = 0; c < cols; ++c) {
        su += c;
        sx += x[c];
        suu += c * c;
        sux += c * x[c];
    }
    const double slope = (cols * sux - su * sx) / (cols * suu - su * su);
    const double offset = (sx - slope * su) / cols;
    double worst = 0;
    for (int c = 0; c < cols; ++c)
        worst = std::max(worst, std::abs(x[c] - (offset + slope * c)));
    return worst / ((slope + 1) / 2);  // the mean of the column and row pitches
}

ImageView viewOf(const SynthFrame& frame) {
    return {frame.bgr,        frame.width,  frame.height,
            PixelFormat::Bgr, frame.stride, RowOrder::BottomUp};
}

}  // namespace dm::test
