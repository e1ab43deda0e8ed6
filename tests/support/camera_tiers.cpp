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
    int minQuality;           // JPEG quality minQuality..95; 0 = no JPEG
};

TierParameters parametersOf(Tier tier) {
    switch (tier) {
        case Tier::Clean:
            return {4, 9, 40, 200, 255, 0, 0, 0, 0, 1, 0};
        case Tier::Camera:
            return {4, 9, 70, 160, 250, 0.06, 0.35, 0, 1.2, 4, 60};
        case Tier::Hard:
            return {3, 8, 70, 160, 250, 0.12, 0.35, 0.5, 2, 9, 60};
    }
    return {};
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
        const std::array<PointD, 4> local{
            {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}}};
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
void jpegRoundTrip(std::vector<uint8_t>& gray, int quality) {
    tjhandle compressor = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const bool compressed = tjCompress2(compressor, gray.data(), kWidth, kWidth, kHeight, TJPF_GRAY,
                                        &jpeg, &jpegSize, TJSAMP_GRAY, quality, 0) == 0;
    tjDestroy(compressor);
    if (compressed) {
        tjhandle decompressor = tjInitDecompress();
        tjDecompress2(decompressor, jpeg, jpegSize, gray.data(), kWidth, kWidth, kHeight, TJPF_GRAY,
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
    constexpr const char* kNames[] = {"clean", "camera", "hard"};
    return kNames[static_cast<int>(tier)];
}

TierFrame tierFrame(Tier tier, uint32_t seed, int index) {
    std::seed_seq seq{seed, static_cast<uint32_t>(tier), static_cast<uint32_t>(index)};
    Rng rng(seq);
    const TierParameters p = parametersOf(tier);

    std::optional<Encoded> encoded;
    std::optional<Placement> placement;
    while (!placement) {
        const int sizeIndex = uniformInt(rng, 0, kFirstDmre - 1);
        encoded = encodeRandom(rng, sizeIndex);
        if (encoded)
            placement = place(rng, p, encoded->symbol.rows, encoded->symbol.cols);
    }
    const PeerSymbol& symbol = encoded->symbol;
    const int rows = symbol.rows;
    const int cols = symbol.cols;
    const int quiet = uniformInt(rng, 2, 4);
    const double dark = uniformInt(rng, 0, p.darkMax);
    const double light = uniformInt(rng, p.lightMin, p.lightMax);
    const double background = uniformInt(rng, 150, 220);
    const double gradient = uniform(rng, 0, p.maxGradient);
    const double gradientAngle = uniform(rng, 0, 2 * std::numbers::pi);
    const double blurSigma = uniform(rng, p.minBlur, p.maxBlur);
    const int quality = p.minQuality > 0 ? uniformInt(rng, p.minQuality, 95) : 0;

    const Homography toPicture = homographyOf(placement->corners, cols, rows);
    const Homography toSymbol = inverse(toPicture);
    const double gx = std::cos(gradientAngle), gy = std::sin(gradientAngle);
    const double gMin = std::min(0.0, gx * kWidth) + std::min(0.0, gy * kHeight);
    const double gRange = std::abs(gx) * kWidth + std::abs(gy) * kHeight;

    // Reflectance sampled four times per pixel, times the illumination.
    std::vector<float> image(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double sum = 0;
            for (const double sy : {0.25, 0.75}) {
                for (const double sx : {0.25, 0.75}) {
                    const PointD s = toSymbol.map(x + sx, y + sy);
                    double value = background;
                    if (s.x >= -quiet && s.y >= -quiet && s.x < cols + quiet && s.y < rows + quiet)
                        value = light;
                    if (s.x >= 0 && s.y >= 0 && s.x < cols && s.y < rows &&
                        symbol.matrix[static_cast<size_t>(s.y) * cols + static_cast<size_t>(s.x)])
                        value = dark;
                    sum += value;
                }
            }
            const double illumination = 1 - gradient * ((gx * x + gy * y - gMin) / gRange);
            image[static_cast<size_t>(y) * kWidth + x] = static_cast<float>(sum / 4 * illumination);
        }
    }
    if (blurSigma > 0.05)
        gaussianBlur(image, kWidth, kHeight, blurSigma);
    std::vector<uint8_t> gray = grayLevels(image, p.noise, rng);
    if (quality > 0)
        jpegRoundTrip(gray, quality);

    TierFrame frame;
    frame.message = encoded->message;
    frame.sizeIndex = symbol.sizeIndex;
    frame.dib = cameraFrame(frameOfGray(gray, kWidth, kHeight));
    for (size_t i = 0; i < 4; ++i) {
        const PointD c = placement->corners[i];
        frame.corners[i] = {c.x - 0.5, kHeight - 0.5 - c.y};
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "%s frame %d: %s %dx%d, module %.1f, angle %.0f, blur %.2f, quality %d, "
                  "dark %.0f light %.0f",
                  tierName(tier), index, encoded->encoder.c_str(), rows, cols, placement->module,
                  placement->angle, blurSigma, quality, dark, light);
    frame.description = text;
    return frame;
}

}  // namespace dm::test
