#include "tests/support/camera_tiers.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "symbology/symbol_size.h"
#include "tests/support/decoding.h"
#include "tests/support/peer_encoders.h"

namespace dm::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct TierParameters {
    double minModule, maxModule;
    int darkMax;              // dark level 0..darkMax
    int lightMin, lightMax;   // label level
    double perspective;       // corner shift as a share of the symbol's width and height
    double maxGradient;       // illumination falls by up to this share across the frame
    double minBlur, maxBlur;  // Gaussian sigma, pixels
    double noise;             // sigma, gray levels
    int minQuality;           // JPEG quality minQuality..maxQuality; 0 = no JPEG
    int maxQuality = 95;
    double keystone = 0;  // one side shorter than its opposite by up to this share (from 0.15)
    double lens = 0;      // barrel distortion up to this share at the frame's corners
};

TierParameters parametersOf(Tier tier) {
    constexpr TierParameters kCamera{4, 9, 70, 160, 250, 0.06, 0.35, 0, 1.2, 4, 60};
    switch (tier) {
        case Tier::Clean:
            return {4, 9, 40, 200, 255, 0, 0, 0, 0, 1, 0};
        case Tier::Camera:
            return kCamera;
        case Tier::Hard:
            return {3, 8, 70, 160, 250, 0.12, 0.35, 0.5, 2, 9, 60};
        case Tier::FineKeystone: {
            TierParameters p = kCamera;
            p.minModule = 2;
            p.maxModule = 3;
            p.perspective = 0.1;
            p.maxBlur = 0.8;
            return p;
        }
        case Tier::PhotoKeystone: {
            TierParameters p = kCamera;
            p.minModule = 2;
            p.maxModule = 2.5;
            p.perspective = 0.04;
            p.keystone = 0.35;
            p.lens = 0.12;
            p.minBlur = 0.3;
            p.maxBlur = 0.7;
            p.minQuality = 40;
            p.maxQuality = 80;
            return p;
        }
        case Tier::CroppedGrowth: {
            // The module is set by the symbol's size (see tierFrame).
            TierParameters p = kCamera;
            p.perspective = 0.03;
            return p;
        }
        case Tier::DotPeenDark:
        case Tier::DotPeenBright:
        case Tier::InkLoss: {
            TierParameters p = kCamera;
            p.minModule = 6;
            p.maxModule = 12;
            return p;
        }
        default:
            return kCamera;
    }
}

using Rng = std::mt19937;

double uniform(Rng& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}
int uniformInt(Rng& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Characters each scheme encodes natively (ASCII gets a few bytes beyond 127 as well).
std::string alphabetOf(PeerScheme scheme) {
    switch (scheme) {
        case PeerScheme::Ascii:
            return "Data Matrix 0123456789 #-./:\xC4\xE3\xBA\xC3";
        case PeerScheme::C40:
            return "ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789";
        case PeerScheme::Text:
            return "abcdefghijklmnopqrstuvwxyz 0123456789";
        case PeerScheme::X12:
            return "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 *>\r";
        case PeerScheme::Edifact:
            return "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 :?<>=@";
        case PeerScheme::Base256:
            break;
    }
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    return all;
}

// A symbol of the size, holding a random message of a random share of its capacity.
struct Encoded {
    PeerSymbol symbol;
    std::string message;
    std::string encoder;
};

std::optional<Encoded> encodeRandom(Rng& rng, int sizeIndex) {
    const int scheme = uniformInt(rng, 0, 6);  // 6: zint with its own encodation choice
    const auto peerScheme = static_cast<PeerScheme>(std::min(scheme, 5));
    const std::string alphabet = alphabetOf(scheme == 6 ? PeerScheme::Ascii : peerScheme);
    const int capacity = symbolSize(sizeIndex).dataCodewords;
    auto length = static_cast<int>(capacity * uniform(rng, 0.3, 1.3));
    std::string text;
    for (int i = 0; i < std::max(length, 1); ++i)
        text += alphabet[static_cast<size_t>(
            uniformInt(rng, 0, static_cast<int>(alphabet.size()) - 1))];
    for (; !text.empty(); text.resize(text.size() * 5 / 6)) {
        std::optional<PeerSymbol> symbol;
        if (scheme == 6) {
            ZintOptions options;
            options.size = sizeIndex + 1;
            options.squareOnly = sizeIndex < kSquareCount;
            symbol = encodeWithZint(bytesOf(text), options);
        } else {
            symbol = encodeWithDmtx(bytesOf(text), peerScheme, sizeIndex);
        }
        if (symbol && symbol->sizeIndex == sizeIndex) {
            return Encoded{std::move(*symbol), text,
                           scheme == 6 ? std::string("zint")
                                       : "libdmtx " + std::string(schemeName(peerScheme))};
        }
    }
    return std::nullopt;
}

// Projective map from symbol coordinates (modules) to picture coordinates (pixels).
struct Homography {
    std::array<double, 9> h{};
    PointD map(double u, double v) const {
        const double w = h[6] * u + h[7] * v + h[8];
        return {(h[0] * u + h[1] * v + h[2]) / w, (h[3] * u + h[4] * v + h[5]) / w};
    }
};

// The map taking (0,0), (1,0), (1,1), (0,1) scaled by cols x rows onto the four corners.
Homography homographyOf(const std::array<PointD, 4>& to, double cols, double rows) {
    const std::array<PointD, 4> from{{{0, 0}, {cols, 0}, {cols, rows}, {0, rows}}};
    double a[8][9] = {};
    for (int i = 0; i < 4; ++i) {
        const double u = from[i].x, v = from[i].y, x = to[i].x, y = to[i].y;
        const double r0[9] = {u, v, 1, 0, 0, 0, -u * x, -v * x, x};
        const double r1[9] = {0, 0, 0, u, v, 1, -u * y, -v * y, y};
        std::copy(r0, r0 + 9, a[2 * i]);
        std::copy(r1, r1 + 9, a[2 * i + 1]);
    }
    for (int c = 0; c < 8; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 8; ++r) {
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        }
        std::swap(a[c], a[pivot]);
        for (int r = 0; r < 8; ++r) {
            if (r == c)
                continue;
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 9; ++k)
                a[r][k] -= f * a[c][k];
        }
    }
    Homography m;
    for (int i = 0; i < 8; ++i)
        m.h[static_cast<size_t>(i)] = a[i][8] / a[i][i];
    m.h[8] = 1;
    return m;
}

Homography inverse(const Homography& m) {
    const auto& a = m.h;
    Homography r;
    r.h = {a[4] * a[8] - a[5] * a[7], a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
           a[5] * a[6] - a[3] * a[8], a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
           a[3] * a[7] - a[4] * a[6], a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3]};
    return r;
}

struct Placement {
    std::array<PointD, 4> corners;  // picture coordinates
    double module = 0;
    double angle = 0;
};

// Places the symbol at a random size, rotation and perspective so that it lies at least one
// module inside the frame; nothing when twenty tries do not fit.
std::optional<Placement> place(Rng& rng, const TierParameters& p, int rows, int cols) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        Placement out;
        out.module = uniform(rng, p.minModule, p.maxModule);
        out.angle = uniform(rng, 0, 360);
        const double t = out.angle * std::numbers::pi / 180;
        const double w = cols * out.module;
        const double h = rows * out.module;
        std::array<PointD, 4> local{
            {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}}};
        if (p.keystone > 0) {
            // The side seen farther off shortened toward its middle.
            const double k = uniform(rng, 0.15, p.keystone);
            const int side = uniformInt(rng, 0, 3);
            for (const int i : {side, (side + 1) % 4})
                (side % 2 == 0 ? local[static_cast<size_t>(i)].x
                               : local[static_cast<size_t>(i)].y) *= 1 - k;
        }
        double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
        for (size_t i = 0; i < 4; ++i) {
            const double lx = local[i].x + uniform(rng, -1, 1) * p.perspective * w;
            const double ly = local[i].y + uniform(rng, -1, 1) * p.perspective * h;
            // Counter-clockwise as seen in the picture (y down).
            out.corners[i] = {lx * std::cos(t) + ly * std::sin(t),
                              -lx * std::sin(t) + ly * std::cos(t)};
            minX = std::min(minX, out.corners[i].x);
            maxX = std::max(maxX, out.corners[i].x);
            minY = std::min(minY, out.corners[i].y);
            maxY = std::max(maxY, out.corners[i].y);
        }
        const double margin = out.module;
        const double loX = margin - minX, hiX = kWidth - margin - maxX;
        const double loY = margin - minY, hiY = kHeight - margin - maxY;
        if (loX > hiX || loY > hiY)
            continue;
        const double cx = uniform(rng, loX, hiX);
        const double cy = uniform(rng, loY, hiY);
        for (auto& c : out.corners) {
            c.x += cx;
            c.y += cy;
        }
        return out;
    }
    return std::nullopt;
}

// Gray JPEG round trip at the quality.
void jpegRoundTrip(std::vector<uint8_t>& gray, int quality, int width = kWidth,
                   int height = kHeight) {
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const bool compressed = tjCompress2(compressor, gray.data(), width, width, height, TJPF_GRAY,
                                        &jpeg, &jpegSize, TJSAMP_GRAY, quality, 0) == 0;
    tjDestroy(compressor);
    if (compressed) {
        tjhandle decompressor = tjInitDecompress();
        tjDecompress2(decompressor, jpeg, jpegSize, gray.data(), width, width, height, TJPF_GRAY,
                      0);
        tjDestroy(decompressor);
    }
    tjFree(jpeg);
}

}  // namespace

const char* backgroundName(Background background) {
    constexpr const char* kNames[] = {"empty", "cluttered", "textured"};
    return kNames[static_cast<int>(background)];
}

CFrameDib backgroundFrame(Background background, uint32_t seed) {
    std::seed_seq seq{seed, 100u + static_cast<uint32_t>(background)};
    Rng rng(seq);
    std::vector<float> image(static_cast<size_t>(kWidth) * kHeight);
    auto at = [&](int x, int y) -> float& { return image[static_cast<size_t>(y) * kWidth + x]; };
    switch (background) {
        case Background::Empty: {
            const double base = uniform(rng, 150, 220);
            const double slope = uniform(rng, -0.1, 0.1);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x)
                    at(x, y) = static_cast<float>(base + slope * (x - kWidth / 2));
            }
            break;
        }
        case Background::Cluttered: {
            std::fill(image.begin(), image.end(), static_cast<float>(uniform(rng, 190, 240)));
            // Filled rotated rectangles: text-like bars, blocks, long lines, and L shapes made
            // of two bars.
            auto bar = [&](double cx, double cy, double w, double h, double angle, float level) {
                const double c = std::cos(angle), s = std::sin(angle);
                const int r = static_cast<int>(std::hypot(w, h) / 2) + 1;
                for (int y = std::max(0, static_cast<int>(cy) - r);
                     y < std::min(kHeight, static_cast<int>(cy) + r); ++y) {
                    for (int x = std::max(0, static_cast<int>(cx) - r);
                         x < std::min(kWidth, static_cast<int>(cx) + r); ++x) {
                        const double u = (x - cx) * c + (y - cy) * s;
                        const double v = -(x - cx) * s + (y - cy) * c;
                        if (std::abs(u) <= w / 2 && std::abs(v) <= h / 2)
                            at(x, y) = level;
                    }
                }
            };
            for (int i = 0; i < 400; ++i) {
                const double x = uniform(rng, 0, kWidth), y = uniform(rng, 0, kHeight);
                const double angle = uniform(rng, 0, std::numbers::pi);
                const auto level = static_cast<float>(uniform(rng, 0, 90));
                switch (i % 4) {
                    case 0:
                        bar(x, y, uniform(rng, 4, 30), uniform(rng, 3, 8), angle, level);
                        break;
                    case 1:
                        bar(x, y, uniform(rng, 10, 60), uniform(rng, 10, 60), angle, level);
                        break;
                    case 2:
                        bar(x, y, uniform(rng, 60, 300), uniform(rng, 2, 5), angle, level);
                        break;
                    default: {
                        const double len = uniform(rng, 30, 120), thick = uniform(rng, 3, 8);
                        const double c = std::cos(angle), s = std::sin(angle);
                        bar(x + c * len / 2, y + s * len / 2, len, thick, angle, level);
                        bar(x - s * len / 2, y + c * len / 2, len, thick,
                            angle + std::numbers::pi / 2, level);
                    }
                }
            }
            break;
        }
        case Background::Textured: {
            const double fx = uniform(rng, 0.3, 1.2), fy = uniform(rng, 0.3, 1.2);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    at(x, y) = static_cast<float>(128 +
                                                  70 * std::sin(fx * x + 3 * std::sin(0.05 * y)) *
                                                      std::sin(fy * y + 2 * std::sin(0.07 * x)) +
                                                  uniform(rng, -30, 30));
                }
            }
            break;
        }
    }
    std::vector<uint8_t> gray = grayLevels(image, 4, rng);
    jpegRoundTrip(gray, 80);
    return cameraFrame(frameOfGray(gray, kWidth, kHeight));
}

const char* tierName(Tier tier) {
    constexpr const char* kNames[] = {
        "clean",           "camera",         "hard",          "finder-gaps",
        "scratch",         "stain",          "inverted",      "dot-peen-dark",
        "dot-peen-bright", "etched",         "ink-loss",      "cylinder",
        "fine-keystone",   "photo-keystone", "etched-framed", "cropped-growth"};
    return kNames[static_cast<int>(tier)];
}

namespace {

// The dot-peen tiers' stylus places each dot up to this far (modules, each axis) off its
// module's middle.
constexpr double kDotJitter = 0.08;

// How a mark tier's symbol and its ground look, drawn after the label tiers' values so those
// frames stay as they were.
struct MarkLook {
    Tier tier = Tier::Clean;
    // Scratch: the points within half of the line through point along direction.
    PointD scratchPoint, scratchDirection;
    double scratchHalf = 0;
    // Stain: a dark disc.
    PointD stainCentre;
    double stainRadius = 0;
    // Dots: radius and each module's offset (modules), the light's direction, the levels.
    double dotRadius = 0;
    std::vector<PointD> dotOffsets;
    PointD lightDirection;
    double dotLevel = 0, rimLevel = 0;
    // Ink loss per edge (growth when negative) and etch depth.
    double inkLoss = 0;
    double etchDepth = 0;
    // A printed frame around the mark: its gap from the symbol and thickness (modules), level.
    double frameGap = 0, frameWidth = 0, frameLevel = 0;
    // Cylinder: radius in modules, and whether the columns wrap (else the rows).
    double cylinderRadius = 0;
    bool wrapColumns = true;
    // Metal under the mark (per pixel), empty on a label.
    std::vector<float> metal;
    std::string detail;  // for the frame's description

    bool onMetal() const { return !metal.empty(); }
};

// Smooth noise along one coordinate: values every pixel, smoothed over about width pixels.
std::vector<float> streakProfile(Rng& rng, int length, double width, double amplitude) {
    std::vector<float> v(static_cast<size_t>(length));
    for (float& x : v)
        x = static_cast<float>(uniform(rng, -1, 1));
    const int reach = std::max(1, static_cast<int>(width));
    std::vector<float> out(v.size());
    for (int i = 0; i < length; ++i) {
        double sum = 0;
        int n = 0;
        for (int k = std::max(0, i - reach); k <= std::min(length - 1, i + reach); ++k, ++n)
            sum += v[static_cast<size_t>(k)];
        out[static_cast<size_t>(i)] =
            static_cast<float>(amplitude * sum / n * std::sqrt(static_cast<double>(n)) / 2);
    }
    return out;
}

// Brushed or cast metal: a level with streaks along a direction, blotches and a specular band.
std::vector<float> metalSurface(Rng& rng, double level, double streaks, double blotches,
                                double band) {
    const double angle = uniform(rng, 0, std::numbers::pi);
    const double c = std::cos(angle), s = std::sin(angle);
    const int diagonal = kWidth + kHeight;
    const std::vector<float> fine = streakProfile(rng, 2 * diagonal, 1.5, streaks);
    const std::vector<float> coarse = streakProfile(rng, 2 * diagonal, 12, streaks);
    const double bandAt = uniform(rng, -0.3, 0.3) * diagonal;
    const double bandWidth = uniform(rng, 50, 150);
    const double fx = uniform(rng, 0.01, 0.03), fy = uniform(rng, 0.01, 0.03);
    const double phase = uniform(rng, 0, 6.3);
    std::vector<float> metal(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Across the streaks, from the frame's centre.
            const double across = -(x - kWidth / 2.0) * s + (y - kHeight / 2.0) * c;
            const auto k = static_cast<size_t>(across + diagonal);
            const double blotch =
                blotches * std::sin(fx * x + phase) * std::sin(fy * y + 2 * phase);
            const double specular = band * std::exp(-std::pow((across - bandAt) / bandWidth, 2));
            metal[static_cast<size_t>(y) * kWidth + x] =
                static_cast<float>(level + fine[k] + coarse[k] + blotch + specular);
        }
    }
    return metal;
}

// The mark tier's look; matrix is the symbol's, whose finder may lose modules here.
MarkLook drawLook(Rng& rng, Tier tier, std::vector<uint8_t>& matrix, int rows, int cols) {
    MarkLook look;
    look.tier = tier;
    switch (tier) {
        case Tier::FinderGaps: {
            // The L as one walk: up the solid column from its top, then along the solid row.
            const int length = rows + cols - 1;
            const int gap = uniformInt(rng, 1, 3);
            const int from = uniformInt(rng, 0, length - gap);
            look.detail = "gap of " + std::to_string(gap) + " from " + std::to_string(from) +
                          " of " + std::to_string(length);
            for (int k = from; k < from + gap; ++k) {
                const int r = k < rows ? k : rows - 1;
                const int c = k < rows ? 0 : k - rows + 1;
                matrix[static_cast<size_t>(r) * cols + c] = 0;
            }
            break;
        }
        case Tier::Scratch: {
            const double angle = uniform(rng, 0, std::numbers::pi);
            look.scratchPoint = {uniform(rng, 0.3, 0.7) * cols, uniform(rng, 0.3, 0.7) * rows};
            look.scratchDirection = {std::cos(angle), std::sin(angle)};
            look.scratchHalf = uniform(rng, 0.3, 0.6) / 2;
            break;
        }
        case Tier::Stain:
            look.stainCentre = {uniform(rng, 2, cols - 2), uniform(rng, 2, rows - 2)};
            look.stainRadius = uniform(rng, 0.5, 1.0);
            break;
        case Tier::DotPeenDark:
        case Tier::DotPeenBright: {
            const bool dark = tier == Tier::DotPeenDark;
            look.dotRadius = uniform(rng, 0.25, 0.5);
            look.dotOffsets.resize(matrix.size());
            for (PointD& o : look.dotOffsets)
                o = {uniform(rng, -kDotJitter, kDotJitter), uniform(rng, -kDotJitter, kDotJitter)};
            const double angle = uniform(rng, 0, 2 * std::numbers::pi);
            look.lightDirection = {std::cos(angle), std::sin(angle)};
            look.dotLevel = dark ? uniform(rng, 20, 70) : uniform(rng, 160, 230);
            look.rimLevel = dark ? uniform(rng, 180, 240) : uniform(rng, 40, 80);
            look.metal =
                dark ? metalSurface(rng, uniform(rng, 110, 160), 10, 6, uniform(rng, 30, 70))
                     : metalSurface(rng, uniform(rng, 35, 75), 6, 8, uniform(rng, 10, 30));
            break;
        }
        case Tier::Etched:
        case Tier::FramedEtch:
            look.etchDepth = uniform(rng, 30, 60);
            look.metal = metalSurface(rng, uniform(rng, 130, 180), 8, 15, uniform(rng, 0, 40));
            if (tier == Tier::FramedEtch) {
                look.frameGap = uniform(rng, 1, 3);
                look.frameWidth = uniform(rng, 0.5, 1);
                look.frameLevel = uniform(rng, 20, 60);
                char text[64];
                std::snprintf(text, sizeof text, "frame %.1f out, %.2f thick", look.frameGap,
                              look.frameWidth);
                look.detail = text;
            }
            break;
        case Tier::InkLoss:
            look.inkLoss = uniform(rng, 0.05, 0.2);
            break;
        case Tier::CroppedGrowth:
            look.inkLoss = -uniform(rng, 0.1, 0.25);
            look.detail = "growth " + std::to_string(-look.inkLoss).substr(0, 4);
            break;
        case Tier::Cylinder:
            look.cylinderRadius = uniform(rng, 1, 3) * std::max(rows, cols);
            look.wrapColumns = uniformInt(rng, 0, 1) == 0;
            look.detail = std::string(look.wrapColumns ? "columns" : "rows")
                              .append(" wrapped, radius ")
                              .append(std::to_string(static_cast<int>(look.cylinderRadius)));
            break;
        default:
            break;
    }
    return look;
}

// The symbol-plane point (modules) that a point of the flat placement shows: on a cylinder the
// plane is wrapped around it, so the flat coordinate across the axis is the sine of the arc.
// None beyond the cylinder's sides.
std::optional<PointD> unwrapped(const MarkLook& look, PointD flat, int rows, int cols) {
    if (look.tier != Tier::Cylinder)
        return flat;
    const double r = look.cylinderRadius;
    const double centre = (look.wrapColumns ? cols : rows) / 2.0;
    const double a = (look.wrapColumns ? flat.x : flat.y) - centre;
    if (std::abs(a) >= r)
        return std::nullopt;
    const double arc = r * std::asin(a / r) + centre;
    return look.wrapColumns ? PointD{arc, flat.y} : PointD{flat.x, arc};
}

// The flat placement's point that shows symbol-plane point p (the inverse of unwrapped).
PointD wrapped(const MarkLook& look, PointD p, int rows, int cols) {
    if (look.tier != Tier::Cylinder)
        return p;
    const double r = look.cylinderRadius;
    const double centre = (look.wrapColumns ? cols : rows) / 2.0;
    const double a = r * std::sin(((look.wrapColumns ? p.x : p.y) - centre) / r) + centre;
    return look.wrapColumns ? PointD{a, p.y} : PointD{p.x, a};
}

bool darkModule(std::span<const uint8_t> matrix, int rows, int cols, PointD s) {
    return s.x >= 0 && s.y >= 0 && s.x < cols && s.y < rows &&
           matrix[static_cast<size_t>(s.y) * cols + static_cast<size_t>(s.x)];
}

// Whether ink covers the symbol-plane point of a label: the module (shrunk by the ink loss),
// a stain, less a scratch (on the symbol and its quiet zone).
bool inkAt(const MarkLook& look, std::span<const uint8_t> matrix, int rows, int cols, PointD s,
           int quiet) {
    bool ink = darkModule(matrix, rows, cols, s);
    if (ink && look.inkLoss > 0) {
        const double fx = s.x - std::floor(s.x), fy = s.y - std::floor(s.y);
        ink = std::min({fx, fy, 1 - fx, 1 - fy}) >= look.inkLoss;
    }
    // Print growth: ink within the growth of a dark module.
    for (const double dy : {-look.inkLoss, 0.0, look.inkLoss}) {
        for (const double dx : {-look.inkLoss, 0.0, look.inkLoss})
            ink = ink || (look.inkLoss < 0 && darkModule(matrix, rows, cols, {s.x + dx, s.y + dy}));
    }
    if (look.stainRadius > 0 && length(s - look.stainCentre) < look.stainRadius)
        ink = true;
    if (look.scratchHalf > 0 && s.x >= -quiet && s.y >= -quiet && s.x < cols + quiet &&
        s.y < rows + quiet &&
        std::abs(cross(look.scratchDirection, s - look.scratchPoint)) < look.scratchHalf)
        ink = false;
    return ink;
}

// The level a metal tier shows at the symbol-plane point over metal of the given level.
double metalAt(const MarkLook& look, std::span<const uint8_t> matrix, int rows, int cols, PointD s,
               double metal) {
    if (look.frameWidth > 0) {
        const double out = std::max({-s.x, -s.y, s.x - cols, s.y - rows});
        if (out >= look.frameGap && out < look.frameGap + look.frameWidth)
            return look.frameLevel;
    }
    if (!darkModule(matrix, rows, cols, s))
        return metal;
    const auto r = static_cast<int>(s.y), c = static_cast<int>(s.x);
    if (look.tier == Tier::Etched || look.tier == Tier::FramedEtch) {
        const double fx = s.x - c, fy = s.y - r;
        constexpr double kEdge = 0.03;  // the laser's squares a little inside the pitch
        return std::min({fx, fy, 1 - fx, 1 - fy}) >= kEdge ? metal - look.etchDepth : metal;
    }
    const PointD centre = PointD{c + 0.5, r + 0.5} +
                          look.dotOffsets[static_cast<size_t>(r) * cols + static_cast<size_t>(c)];
    const PointD d = (1.0 / look.dotRadius) * (s - centre);
    const double distance = length(d);
    if (distance >= 1)
        return metal;
    // A crater: its floor at the dot's level, the wall facing the light toward the rim's.
    const double facing = std::max(0.0, dot(d, look.lightDirection));
    return look.dotLevel + (look.rimLevel - look.dotLevel) * facing * distance * distance;
}

// Whether the damage leaves the symbol readable: each module taken dark when most of nine
// points in it are.
bool readableUnderDamage(const MarkLook& look, std::span<const uint8_t> matrix, int rows, int cols,
                         int sizeIndex, const std::string& message) {
    std::vector<uint8_t> seen(matrix.size());
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            int dark = 0;
            for (const double dy : {0.2, 0.5, 0.8}) {
                for (const double dx : {0.2, 0.5, 0.8})
                    dark += inkAt(look, matrix, rows, cols, {c + dx, r + dy}, 0);
            }
            seen[static_cast<size_t>(r) * cols + c] = dark >= 5;
        }
    }
    const MatrixReading reading = readMatrix(seen, sizeIndex);
    return reading.ok && reading.text == message;
}

// The tier's frame of the symbol at the placement, the rest of its look drawn from rng.
TierFrame drawTierFrame(Rng& rng, Tier tier, int index, const Encoded& encoded,
                        const Placement& placement, const DotVariant* variant = nullptr) {
    const TierParameters p = parametersOf(tier);
    const PeerSymbol& symbol = encoded.symbol;
    const int rows = symbol.rows;
    const int cols = symbol.cols;
    const int quiet = tier == Tier::CroppedGrowth ? 1 : uniformInt(rng, 2, 4);
    const double dark = uniformInt(rng, 0, p.darkMax);
    const double light = uniformInt(rng, p.lightMin, p.lightMax);
    const double background = uniformInt(rng, 150, 220);
    const double gradient = uniform(rng, 0, p.maxGradient);
    const double gradientAngle = uniform(rng, 0, 2 * std::numbers::pi);
    const double blurSigma = uniform(rng, p.minBlur, p.maxBlur);
    const int quality = p.minQuality > 0 ? uniformInt(rng, p.minQuality, p.maxQuality) : 0;

    // The mark tiers draw their look after everything the label tiers draw; damage is drawn
    // again (up to a bound) until the error correction carries it.
    std::vector<uint8_t> matrix = symbol.matrix;
    MarkLook look;
    for (int attempt = 0; attempt < 50; ++attempt) {
        matrix = symbol.matrix;
        look = drawLook(rng, tier, matrix, rows, cols);
        if ((look.scratchHalf == 0 && look.stainRadius == 0) ||
            readableUnderDamage(look, matrix, rows, cols, symbol.sizeIndex, encoded.message))
            break;
        look.scratchHalf = look.stainRadius = 0;  // none that reads in time: undamaged
    }
    if (variant) {
        // The jitter drawn scaled to the variant's, so that the rest of the look stays.
        for (PointD& o : look.dotOffsets)
            o = (variant->jitter / kDotJitter) * o;
        // The gap's modules along the L walked up the solid column, then along the solid row.
        const int corner = rows - 1;
        for (int k = corner + variant->gapFrom; k < corner + variant->gapFrom + variant->gap; ++k) {
            if (k < 0 || k >= rows + cols - 1)
                continue;
            const int r = k < rows ? k : rows - 1;
            const int c = k < rows ? 0 : k - rows + 1;
            matrix[static_cast<size_t>(r) * cols + c] = 0;
        }
        if (variant->gap > 0)
            look.detail = "corner gap of " + std::to_string(variant->gap) + " from " +
                          std::to_string(variant->gapFrom);
    }

    const Homography toPicture = homographyOf(placement.corners, cols, rows);
    const Homography toSymbol = inverse(toPicture);
    // A lens's barrel distortion: the picture point p shows what an ideal lens shows at
    // centre + (p - centre) (1 + lens r^2), r the distance from the centre over the half diagonal
    // (the symbol drawn closer to the centre, so it stays in the frame).
    const double lens = p.lens > 0 ? uniform(rng, 0, p.lens) : 0;
    const PointD lensCentre{kWidth / 2.0, kHeight / 2.0};
    const double halfDiagonal2 = (kWidth * kWidth + kHeight * kHeight) / 4.0;
    auto ideal = [&](PointD q) {
        const PointD d = q - lensCentre;
        return lensCentre + (1 + lens * dot(d, d) / halfDiagonal2) * d;
    };
    const double gx = std::cos(gradientAngle), gy = std::sin(gradientAngle);
    const double gMin = std::min(0.0, gx * kWidth) + std::min(0.0, gy * kHeight);
    const double gRange = std::abs(gx) * kWidth + std::abs(gy) * kHeight;

    // Reflectance sampled four times per pixel, times the illumination.
    std::vector<float> image(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const size_t pixel = static_cast<size_t>(y) * kWidth + x;
            double sum = 0;
            double shade = 1;
            for (const double sy : {0.25, 0.75}) {
                for (const double sx : {0.25, 0.75}) {
                    const PointD at = lens != 0 ? ideal({x + sx, y + sy}) : PointD{x + sx, y + sy};
                    const PointD flat = toSymbol.map(at.x, at.y);
                    const std::optional<PointD> on = unwrapped(look, flat, rows, cols);
                    if (look.onMetal()) {
                        sum += metalAt(look, matrix, rows, cols, flat, look.metal[pixel]);
                        continue;
                    }
                    if (!on) {
                        sum += background;
                        continue;
                    }
                    const PointD s = *on;
                    if (look.tier == Tier::Cylinder) {
                        // Light falls off toward the cylinder's sides.
                        const double a =
                            (look.wrapColumns ? flat.x - cols / 2.0 : flat.y - rows / 2.0) /
                            look.cylinderRadius;
                        shade = 0.55 + 0.45 * std::sqrt(std::max(0.0, 1 - a * a));
                    }
                    double value = background;
                    if (s.x >= -quiet && s.y >= -quiet && s.x < cols + quiet && s.y < rows + quiet)
                        value = light;
                    if (tier < Tier::FinderGaps ? darkModule(matrix, rows, cols, s)
                                                : inkAt(look, matrix, rows, cols, s, quiet))
                        value = dark;
                    sum += value * shade;
                }
            }
            const double illumination = 1 - gradient * ((gx * x + gy * y - gMin) / gRange);
            image[pixel] = static_cast<float>(sum / 4 * illumination);
        }
    }
    if (blurSigma > 0.05)
        gaussianBlur(image, kWidth, kHeight, blurSigma);
    std::vector<uint8_t> gray = grayLevels(image, p.noise, rng);
    if (tier == Tier::Inverted) {
        for (uint8_t& g : gray)
            g = static_cast<uint8_t>(255 - g);
    }
    if (quality > 0)
        jpegRoundTrip(gray, quality);

    TierFrame frame;
    frame.message = encoded.message;
    frame.sizeIndex = symbol.sizeIndex;
    frame.matrix = symbol.matrix;
    frame.dib = cameraFrame(frameOfGray(gray, kWidth, kHeight));
    const std::array<PointD, 4> outline{{{0, 0},
                                         {static_cast<double>(cols), 0},
                                         {static_cast<double>(cols), static_cast<double>(rows)},
                                         {0, static_cast<double>(rows)}}};
    for (size_t i = 0; i < 4; ++i) {
        const PointD flat = wrapped(look, outline[i], rows, cols);
        const PointD target = toPicture.map(flat.x, flat.y);
        // The picture point the lens shows it at (ideal inverted by a few fixed-point steps).
        PointD c = target;
        for (int step = 0; step < 8 && lens != 0; ++step) {
            const PointD d = c - lensCentre;
            c = lensCentre + (1 / (1 + lens * dot(d, d) / halfDiagonal2)) * (target - lensCentre);
        }
        frame.corners[i] = {c.x - 0.5, kHeight - 0.5 - c.y};
    }
    char text[240];
    std::snprintf(text, sizeof text,
                  "%s frame %d: %s %dx%d, module %.1f, angle %.0f, blur %.2f, quality %d, "
                  "dark %.0f light %.0f%s%s%s",
                  tierName(tier), index, encoded.encoder.c_str(), rows, cols, placement.module,
                  placement.angle, blurSigma, quality, dark, light, look.detail.empty() ? "" : ", ",
                  look.detail.c_str(),
                  lens != 0 ? (", lens " + std::to_string(lens).substr(0, 6)).c_str() : "");
    frame.description = text;
    return frame;
}

}  // namespace

TierFrame tierFrame(Tier tier, uint32_t seed, int index) {
    std::seed_seq seq{seed, static_cast<uint32_t>(tier), static_cast<uint32_t>(index)};
    Rng rng(seq);
    const TierParameters p = parametersOf(tier);
    std::optional<Encoded> encoded;
    std::optional<Placement> placement;
    while (!placement) {
        // The fine tiers: the multi-region squares, 32 x 32 (index 9) to 144 x 144; the cropped
        // one 10 x 10 to 20 x 20.
        const int sizeIndex = tier == Tier::FineKeystone || tier == Tier::PhotoKeystone
                                  ? uniformInt(rng, 9, kSquareCount - 1)
                              : tier == Tier::CroppedGrowth ? uniformInt(rng, 0, 5)
                                                            : uniformInt(rng, 0, kFirstDmre - 1);
        encoded = encodeRandom(rng, sizeIndex);
        if (!encoded)
            continue;
        TierParameters fit = p;
        if (tier == Tier::CroppedGrowth) {
            // The symbol and a module beyond it nearly fill the frame's height.
            const double most = static_cast<double>(kHeight) / (encoded->symbol.rows + 2);
            fit.minModule = 0.85 * most;
            fit.maxModule = 0.95 * most;
        }
        placement = place(rng, fit, encoded->symbol.rows, encoded->symbol.cols);
    }
    return drawTierFrame(rng, tier, index, *encoded, *placement);
}

TierFrame dotVariantFrame(Tier tier, uint32_t seed, int index, const DotVariant& variant) {
    std::seed_seq seq{seed, static_cast<uint32_t>(tier), static_cast<uint32_t>(index)};
    Rng rng(seq);
    const TierParameters p = parametersOf(tier);
    std::optional<Encoded> encoded;
    std::optional<Placement> placement;
    while (!placement) {
        encoded = encodeRandom(rng, uniformInt(rng, 0, kFirstDmre - 1));
        if (encoded)
            placement = place(rng, p, encoded->symbol.rows, encoded->symbol.cols);
    }
    return drawTierFrame(rng, tier, index, *encoded, *placement, &variant);
}

std::optional<TierFrame> tierFrameOf(Tier tier, uint32_t seed, int index, const LabelSymbol& given,
                                     int sizeIndex) {
    std::seed_seq seq{seed, 500u + static_cast<uint32_t>(tier), static_cast<uint32_t>(index)};
    Rng rng(seq);
    const std::optional<Placement> placement =
        place(rng, parametersOf(tier), given.rows, given.cols);
    if (!placement)
        return std::nullopt;
    const Encoded encoded{
        {given.rows, given.cols, sizeIndex, given.matrix}, given.message, "given"};
    return drawTierFrame(rng, tier, index, encoded, *placement);
}

LabelsFrame labelsFrame(std::span<const LabelSymbol> symbols, uint32_t seed, int width, int height,
                        double minModule, double maxModule) {
    std::seed_seq seq{seed, 200u, static_cast<uint32_t>(symbols.size())};
    Rng rng(seq);
    TierParameters p = parametersOf(Tier::Camera);
    const double background = uniformInt(rng, 150, 220);
    const double gradient = uniform(rng, 0, p.maxGradient);
    const double gradientAngle = uniform(rng, 0, 2 * std::numbers::pi);
    const double blurSigma = uniform(rng, p.minBlur, p.maxBlur);
    const int quality = uniformInt(rng, p.minQuality, 95);
    // Four samples per pixel, drawn label by label over the background.
    const int fineWidth = 2 * width;
    std::vector<float> fine(static_cast<size_t>(fineWidth) * 2 * height,
                            static_cast<float>(background));
    LabelsFrame frame;
    std::vector<std::array<PointD, 4>> labels;  // each label's outline with its quiet zone
    for (const LabelSymbol& symbol : symbols) {
        const int quiet = uniformInt(rng, 1, 4);
        const double dark = uniformInt(rng, 0, p.darkMax);
        const double light = uniformInt(rng, p.lightMin, p.lightMax);
        std::optional<Homography> toPicture;
        std::array<PointD, 4> label;
        for (int attempt = 0; attempt < 200 && !toPicture; ++attempt) {
            const double module = uniform(rng, minModule, maxModule);
            const double angle = uniform(rng, 0, 2 * std::numbers::pi);
            const double w = symbol.cols * module, h = symbol.rows * module;
            const double cx = uniform(rng, 0, width), cy = uniform(rng, 0, height);
            std::array<PointD, 4> corners;
            const std::array<PointD, 4> local{
                {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}}};
            bool inside = true;
            for (size_t i = 0; i < 4; ++i) {
                const double lx = local[i].x + uniform(rng, -1, 1) * p.perspective * w;
                const double ly = local[i].y + uniform(rng, -1, 1) * p.perspective * h;
                corners[i] = {cx + lx * std::cos(angle) + ly * std::sin(angle),
                              cy - lx * std::sin(angle) + ly * std::cos(angle)};
                inside = inside && corners[i].x >= module && corners[i].y >= module &&
                         corners[i].x <= width - module && corners[i].y <= height - module;
            }
            if (!inside)
                continue;
            const Homography map = homographyOf(corners, symbol.cols, symbol.rows);
            for (size_t i = 0; i < 4; ++i) {
                label[i] = map.map(i == 1 || i == 2 ? symbol.cols + quiet : -quiet,
                                   i >= 2 ? symbol.rows + quiet : -quiet);
            }
            // Convex labels are apart when some edge of either separates them.
            auto separated = [](const std::array<PointD, 4>& a, const std::array<PointD, 4>& b) {
                for (const auto* q : {&a, &b}) {
                    for (size_t i = 0; i < 4; ++i) {
                        const PointD edge = (*q)[(i + 1) % 4] - (*q)[i];
                        const PointD normal{-edge.y, edge.x};
                        double aLow = 1e18, aHigh = -1e18, bLow = 1e18, bHigh = -1e18;
                        for (size_t k = 0; k < 4; ++k) {
                            aLow = std::min(aLow, dot(normal, a[k]));
                            aHigh = std::max(aHigh, dot(normal, a[k]));
                            bLow = std::min(bLow, dot(normal, b[k]));
                            bHigh = std::max(bHigh, dot(normal, b[k]));
                        }
                        if (aHigh <= bLow || bHigh <= aLow)
                            return true;
                    }
                }
                return false;
            };
            const bool apart = std::all_of(labels.begin(), labels.end(), [&](const auto& other) {
                return separated(label, other);
            });
            if (apart)
                toPicture = map;
        }
        if (!toPicture)
            continue;
        labels.push_back(label);
        const Homography toSymbol = inverse(*toPicture);
        double xMin = 1e9, xMax = -1e9, yMin = 1e9, yMax = -1e9;
        for (const PointD& c : label) {
            xMin = std::min(xMin, c.x);
            xMax = std::max(xMax, c.x);
            yMin = std::min(yMin, c.y);
            yMax = std::max(yMax, c.y);
        }
        for (int y = std::max(0, static_cast<int>(2 * yMin));
             y < std::min(2 * height, static_cast<int>(2 * yMax) + 2); ++y) {
            for (int x = std::max(0, static_cast<int>(2 * xMin));
                 x < std::min(fineWidth, static_cast<int>(2 * xMax) + 2); ++x) {
                const PointD s = toSymbol.map((x + 0.5) / 2, (y + 0.5) / 2);
                if (s.x < -quiet || s.y < -quiet || s.x >= symbol.cols + quiet ||
                    s.y >= symbol.rows + quiet)
                    continue;
                fine[static_cast<size_t>(y) * fineWidth + x] = static_cast<float>(
                    darkModule(symbol.matrix, symbol.rows, symbol.cols, s) ? dark : light);
            }
        }
        frame.messages.push_back(symbol.message);
        std::array<PointD, 4> corners;
        for (size_t i = 0; i < 4; ++i) {
            corners[i] =
                toPicture->map(i == 1 || i == 2 ? symbol.cols : 0, i >= 2 ? symbol.rows : 0);
        }
        frame.corners.push_back(corners);
    }
    const double gx = std::cos(gradientAngle), gy = std::sin(gradientAngle);
    const double gMin = std::min(0.0, gx * width) + std::min(0.0, gy * height);
    const double gRange = std::abs(gx) * width + std::abs(gy) * height;
    std::vector<float> image(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* f = fine.data() + static_cast<size_t>(2 * y) * fineWidth + 2 * x;
            const double illumination = 1 - gradient * ((gx * x + gy * y - gMin) / gRange);
            image[static_cast<size_t>(y) * width + x] = static_cast<float>(
                (f[0] + f[1] + f[fineWidth] + f[fineWidth + 1]) / 4 * illumination);
        }
    }
    if (blurSigma > 0.05)
        gaussianBlur(image, width, height, blurSigma);
    std::vector<uint8_t> gray = grayLevels(image, p.noise, rng);
    jpegRoundTrip(gray, quality, width, height);
    frame.dib = cameraFrame(frameOfGray(gray, width, height));
    char text[120];
    std::snprintf(text, sizeof text, "%zu of %zu labels, blur %.2f, quality %d", frame.placed(),
                  symbols.size(), blurSigma, quality);
    frame.description = text;
    return frame;
}

LabelsFrame multiLabelFrame(uint32_t seed, int index) {
    std::seed_seq seq{seed, 300u, static_cast<uint32_t>(index)};
    Rng rng(seq);
    // Sizes up to 32 x 32 among the squares, and every rectangle.
    constexpr int kLargestSquare = 9;
    std::vector<LabelSymbol> symbols;
    const int count = uniformInt(rng, 2, 6);
    while (static_cast<int>(symbols.size()) < count) {
        const int pick = uniformInt(rng, 0, kLargestSquare + (kFirstDmre - kSquareCount));
        const int sizeIndex =
            pick <= kLargestSquare ? pick : kSquareCount + pick - kLargestSquare - 1;
        if (std::optional<Encoded> e = encodeRandom(rng, sizeIndex)) {
            symbols.push_back({std::move(e->symbol.matrix), e->symbol.rows, e->symbol.cols,
                               std::move(e->message)});
        }
    }
    LabelsFrame frame =
        labelsFrame(symbols, seed * 7919u + static_cast<uint32_t>(index), kWidth, kHeight, 3.5, 7);
    frame.description = "multi-label frame " + std::to_string(index) + ": " + frame.description;
    return frame;
}

namespace {

// The picture's gray levels, top-down, of a gray camera frame (blue, green and red alike).
std::vector<uint8_t> grayOfFrame(const CFrameDib& dib) {
    const int width = dib.info.bmiHeader.biWidth;
    const int height = dib.info.bmiHeader.biHeight;
    const auto stride = static_cast<size_t>(CFrameDib::stride(width, 24));
    std::vector<uint8_t> gray(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = dib.bits.data() + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x)
            gray[static_cast<size_t>(y) * width + x] = row[3 * x];
    }
    return gray;
}

}  // namespace

namespace {

// The ground of a large frame, gray, rows top-down: a gray surface lit from one side with noise
// (Empty), or frames without a symbol tiled over it.
std::vector<uint8_t> largeGround(Rng& rng, uint32_t seed, int width, int height,
                                 Background around) {
    std::vector<uint8_t> gray(static_cast<size_t>(width) * height);
    if (around == Background::Empty) {
        // A gray surface lit from one side, with noise.
        const double base = uniform(rng, 150, 210);
        const double slope = uniform(rng, -30, 30);
        std::normal_distribution<double> noise(0, 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double v = base + slope * (x - width / 2.0) / width + noise(rng);
                gray[static_cast<size_t>(y) * width + x] =
                    static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            }
        }
    } else {
        // Frames without a symbol tiled over the whole frame.
        for (int ty = 0, k = 0; ty < height; ty += kHeight) {
            for (int tx = 0; tx < width; tx += kWidth, ++k) {
                const std::vector<uint8_t> tile =
                    grayOfFrame(backgroundFrame(around, seed * 100 + static_cast<uint32_t>(k)));
                for (int y = ty; y < std::min(height, ty + kHeight); ++y) {
                    std::copy_n(tile.begin() + static_cast<ptrdiff_t>(y - ty) * kWidth,
                                std::min(kWidth, width - tx),
                                gray.begin() + static_cast<ptrdiff_t>(y) * width + tx);
                }
            }
        }
    }
    return gray;
}

}  // namespace

CFrameDib largeGroundFrame(uint32_t seed, int width, int height, Background around) {
    std::seed_seq seq{seed, 900u + static_cast<uint32_t>(around)};
    Rng rng(seq);
    return cameraFrame(frameOfGray(largeGround(rng, seed, width, height, around), width, height));
}

namespace {

// The tier frame's picture placed with its left top at (x0, y0) on the ground (both gray, rows
// top-down; a frame that does not fit is cut at the ground's edges), mirrored left to right when
// asked.
LargeFrame placed(const TierFrame& inner, std::vector<uint8_t> gray, int width, int height, int x0,
                  int y0, bool mirrored) {
    std::vector<uint8_t> label = grayOfFrame(inner.dib);
    if (mirrored) {
        for (int y = 0; y < kHeight; ++y) {
            auto row = label.begin() + static_cast<ptrdiff_t>(y) * kWidth;
            std::reverse(row, row + kWidth);
        }
    }
    for (int y = 0; y < std::min(kHeight, height - y0); ++y) {
        std::copy_n(label.begin() + static_cast<ptrdiff_t>(y) * kWidth,
                    std::min(kWidth, width - x0),
                    gray.begin() + static_cast<ptrdiff_t>(y0 + y) * width + x0);
    }
    std::array<PointD, 4> corners;
    for (size_t i = 0; i < corners.size(); ++i) {
        const double x = inner.corners[i].x + 0.5;
        corners[i] = {(mirrored ? kWidth - x : x) + x0, kHeight - 0.5 - inner.corners[i].y + y0};
    }
    return {inner.message, cameraFrame(frameOfGray(gray, width, height)), corners};
}

}  // namespace

LargeFrame largeFrame(Tier tier, uint32_t seed, int index, int width, int height,
                      Background around) {
    const TierFrame inner = tierFrame(tier, seed, index);
    std::seed_seq seq{seed, 400u + static_cast<uint32_t>(around), static_cast<uint32_t>(index)};
    Rng rng(seq);
    std::vector<uint8_t> gray = largeGround(rng, seed, width, height, around);
    // The label's frame, its symbol at a random spot (the frame itself may not fit: then it is
    // placed whole at the corner the spot allows).
    const int x0 = uniformInt(rng, 0, std::max(0, width - kWidth));
    const int y0 = uniformInt(rng, 0, std::max(0, height - kHeight));
    return placed(inner, std::move(gray), width, height, x0, y0, false);
}

LargeFrame largeFrameAt(Tier tier, uint32_t seed, int index, int width, int height,
                        Background around, PointD centre, bool mirrored) {
    const TierFrame inner = tierFrame(tier, seed, index);
    std::seed_seq seq{seed, 400u + static_cast<uint32_t>(around), static_cast<uint32_t>(index)};
    Rng rng(seq);
    std::vector<uint8_t> gray = largeGround(rng, seed, width, height, around);
    PointD own{0, 0};  // the symbol's centre in the label's frame, picture coordinates
    for (const PointD& c : inner.corners) {
        const double x = c.x + 0.5;
        own = own + 0.25 * PointD{mirrored ? kWidth - x : x, kHeight - 0.5 - c.y};
    }
    const int x0 =
        std::clamp(static_cast<int>(std::lround(centre.x - own.x)), 0, std::max(0, width - kWidth));
    const int y0 = std::clamp(static_cast<int>(std::lround(centre.y - own.y)), 0,
                              std::max(0, height - kHeight));
    return placed(inner, std::move(gray), width, height, x0, y0, mirrored);
}

}  // namespace dm::test
