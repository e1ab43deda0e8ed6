#pragma once

// Image files decoded and graded as still pictures, for the tool and the window.

#include <optional>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "grading/print_quality.h"
#include "platform/image_files.h"

namespace dm {

// What decoding one image file gave.
struct FileOutcome {
    bool loaded = false;  // the file was read as an image, whether or not the decoder ran
    // Why the decoder did not run: the file could not be read or was refused, or the image is
    // too small to hold a symbol ("cannot read image: is a folder", "not decoded: ..."). Empty
    // when the decoder ran.
    std::string error;
    DecodeResult result;  // the decoded bytes in result.text; corners in the file's pixels
    // When every symbol was asked for: each symbol read, in reading order (result is the
    // first); empty when none was read.
    std::vector<DecodeResult> symbols;
    double milliseconds = 0;     // decode time, file loading excluded
    double cpuMilliseconds = 0;  // the decoding thread's CPU time for the same, which other
                                 // threads sharing the cores do not inflate
};

// The image in gray as the decoder reads colour, rows top-down.
std::vector<uint8_t> grayPixels(const RgbImage& image);

// Loads an image file and decodes it as a still image (decodeImage without a variant), or with
// cameraFrame as one camera frame (the first variant); with mostSymbols every symbol in it, up to
// that many (decodeAllSymbols); with threads as DecodeOptions::threads says.
FileOutcome decodeImageFile(const std::string& path,
                            std::optional<int32_t> mostSymbols = std::nullopt, int32_t threads = 1,
                            bool cameraFrame = false);

// The same, keeping the loaded image in image for the caller (nothing when it could not be
// read), e.g. to draw a thumbnail of it.
FileOutcome decodeImageFile(const std::string& path, std::optional<int32_t> mostSymbols,
                            std::optional<RgbImage>& image);

// What grading one image file gave.
struct GradedFile {
    FileOutcome file;               // the decode, as decodeImageFile gives it
    std::optional<RgbImage> image;  // the image as loaded; nothing when it could not be read
    SymbolGrade grade;              // of the symbol the decode located; not located when none
    // With every symbol asked for: a grade per symbol of file.symbols, in their order.
    std::vector<SymbolGrade> grades;
};

// Loads an image file once, decodes it as decodeImageFile does and grades the symbol the decode
// located, in the image's own pixels, their reflectance read in the light given; with
// mostSymbols every symbol read, up to that many; as a print or as a direct part mark.
GradedFile gradeImageFile(const std::string& path, Light light = Light::Red,
                          std::optional<int32_t> mostSymbols = std::nullopt, Aperture aperture = {},
                          GradingMode mode = GradingMode::Print);

// An image already in memory (an array a script holds), decoded as decodeImageFile decodes a
// file's pixels.
FileOutcome decodeRgbImage(const RgbImage& image,
                           std::optional<int32_t> mostSymbols = std::nullopt);

// The same, graded as gradeImageFile grades a file's pixels.
GradedFile gradeRgbImage(RgbImage image, Light light = Light::Red,
                         std::optional<int32_t> mostSymbols = std::nullopt, Aperture aperture = {},
                         GradingMode mode = GradingMode::Print);

}  // namespace dm
