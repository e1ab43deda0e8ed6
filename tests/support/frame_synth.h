#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "decoder/decode_image.h"
#include "decoder/frame_dib.h"
#include "detection/shared/geometry.h"

namespace dm::test {

// A camera-format frame: 24-bit BGR, rows bottom-up, each row padded to 4 bytes.
struct SynthFrame {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> bgr;
};

struct SynthOptions {
    int width = 640;
    int height = 480;
    double moduleSize = 6.0;   // pixels per module
    double rotationDeg = 0.0;  // counter-clockwise as seen in the picture
    double offsetX = 0.0;      // symbol centre relative to the frame centre, pixels, right
    double offsetY = 0.0;      // likewise, pixels, down in the picture
    int quietZone = 4;         // light modules around the symbol (rest of the frame is light too)
    double blurSigma = 0.0;    // Gaussian blur in pixels
    double noiseSigma = 0.0;   // additive Gaussian noise in gray levels
    uint32_t seed = 1;
    uint8_t dark = 30;
    uint8_t light = 220;
    uint8_t background = 200;  // beyond the quiet zone
    // Print distortions of the grid: modules stretch times as wide as high (moduleSize); each
    // module down shifts its row shear modules right; module column u (from the left edge)
    // drawn at u + bend sin(pi u / cols), which bows the columns and keeps the outline.
    double stretch = 1.0;
    double shear = 0.0;
    double bend = 0.0;
};

// Largest distance of a module column from the straight-line fit of all column centres, in
// module sizes, for columns bowed by SynthOptions::bend.
double bowedColumnsDeviation(int cols, double bend);

// Renders a module matrix (rows x cols, 1 = dark, row 0 at the top of the symbol).
SynthFrame synthesiseFrame(std::span<const uint8_t> matrix, int rows, int cols,
                           const SynthOptions& options);

// Gray levels of a float image: Gaussian noise of the sigma added (none at 0), rounded and
// clamped to 0..255.
std::vector<uint8_t> grayLevels(std::span<const float> image, double noiseSigma, std::mt19937& rng);

// A top-down gray picture of width x height levels as a camera-format frame.
SynthFrame frameOfGray(std::span<const uint8_t> gray, int width, int height);

// The frame as the decoder's view of its pixels (24-bit BGR, rows bottom-up, padded).
ImageView viewOf(const SynthFrame& frame);

// The frame's pixels as 32 bits each (blue, green, red, spare), rows in the same order, unpadded.
std::vector<uint8_t> bgrxPixels(const SynthFrame& frame, uint8_t spare);

// The frame's gray levels as frame intake computes them, stored rows in order (bottom-up).
std::vector<uint8_t> grayPixels(const SynthFrame& frame);

// The frame as the camera bitmap the decoder takes; or such a bitmap of the given pixels
// (empty when they do not fill it).
CFrameDib cameraFrame(const SynthFrame& frame);
CFrameDib cameraFrame(int width, int height, int bitCount, std::span<const uint8_t> pixels);

// Centre of module (row, col) in gray-image coordinates (row 0 = bottom line of the picture).
PointD moduleCentreInGray(int rows, int cols, int row, int col, const SynthOptions& options);

// Outer corners of the symbol in picture coordinates (pixel centres at integer + 0.5): top
// left, top right, bottom right, bottom left of the symbol as drawn.
std::array<PointD, 4> symbolCornersInPicture(int rows, int cols, const SynthOptions& options);

// Gaussian blur of a float image of w x h pixels, in place (edges repeat).
void gaussianBlur(std::vector<float>& img, int w, int h, double sigma);

// Whether the rotated symbol plus its quiet zone lies fully inside the frame.
bool symbolFits(int rows, int cols, const SynthOptions& options);

// The options grown (by growWidth x growHeight steps) until the rotated symbol and its quiet
// zone fit the frame.
SynthOptions fitted(int rows, int cols, SynthOptions options, int growWidth = 64,
                    int growHeight = 64);

// A module matrix (rows x cols, 1 = dark, row 0 at the top) printed square to the picture with
// ink spread or loss: each edge of the dark area lies growthX (left and right edges) and growthY
// (top and bottom edges) modules outside its nominal place, inside for negative values, so a
// lone dark module is 1 + 2 growthX wide. Black 0 on white 255, modulePixels pixels per module
// inside a quiet zone of quiet modules; each pixel the mean of 8 x 8 samples. Rows top-down.
struct GrownPrint {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
};
GrownPrint printGrown(std::span<const uint8_t> matrix, int rows, int cols, int modulePixels,
                      double growthX, double growthY, int quiet = 4);

// A dot-peen mark: a round dot in each dark module of the matrix (rows x cols, 1 = dark, row 0 at
// the top), drawn on a flat surface inside a quiet zone of quiet modules. Modules are cellWidth x
// cellHeight pixels (different for an axial stretch); each dot's diameter is dotDiameter of the
// smaller side, its centre moved off the module's middle by up to jitter modules on each axis
// (uniform, from seed). Each pixel the mean of 4 x 4 samples, then blurred by a Gaussian of
// blurSigma pixels and Gaussian noise of noiseSigma levels added. Rows top-down.
struct DotPeenOptions {
    double cellWidth = 16;
    double cellHeight = 16;
    double dotDiameter = 0.9;
    double jitter = 0;
    double dotLevel = 40;
    double surface = 200;
    double blurSigma = 0;
    double noiseSigma = 0;
    int quiet = 4;
    uint32_t seed = 7;
};
struct DotPeenMark {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
    std::array<PointD, 4> corners{};  // outer symbol corners as drawn, as symbolCornersInPicture
    std::vector<PointD> dotCentres;   // each module's dot centre, modules from the top-left corner
};
DotPeenMark dotPeenMark(std::span<const uint8_t> matrix, int rows, int cols,
                        const DotPeenOptions& options);

}  // namespace dm::test
