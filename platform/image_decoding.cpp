#include "platform/image_decoding.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <new>

namespace dm {
namespace {

double threadCpuMilliseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Decodes gray pixels, timed; images too small to hold a symbol are not decoded and say why.
FileOutcome decodeGray(const std::vector<uint8_t>& gray, int width, int height,
                       std::optional<int32_t> mostSymbols, int32_t threads = 1,
                       bool cameraFrame = false) {
    FileOutcome out;
    out.loaded = true;
    if (std::min(width, height) < kSmallestSymbolRows ||
        std::max(width, height) < kSmallestSymbolCols) {
        out.error = "not decoded: the image is " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels, too small to hold a symbol (at least " +
                    std::to_string(kSmallestSymbolCols) + " x " +
                    std::to_string(kSmallestSymbolRows) + " pixels)";
        return out;
    }
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuMilliseconds();
    DecodeOptions options;
    if (cameraFrame)
        options.thresholdVariant = 0u;  // one camera frame: the first variant
    else
        options.enlarge = true;
    options.threads = threads;
    if (mostSymbols) {
        ImageSymbols all = decodeAllSymbols({gray, width, height}, options, *mostSymbols);
        out.result = all.symbols.empty() ? std::move(all.failure) : all.symbols.front();
        out.symbols = std::move(all.symbols);
    } else {
        out.result = decodeImage({gray, width, height}, options);
    }
    out.cpuMilliseconds = threadCpuMilliseconds() - cpuStart;
    out.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return out;
}

// Loads the file into image, its gray pixels into gray, and decodes them; a file that cannot be
// read, or memory that runs out, gives the reason in the outcome's error.
FileOutcome loadAndDecode(const std::string& path, std::optional<RgbImage>& image,
                          std::vector<uint8_t>& gray,
                          std::optional<int32_t> mostSymbols = std::nullopt, int32_t threads = 1,
                          bool cameraFrame = false) {
    try {
        std::string error;
        image = loadImage(path, error);
        if (!image) {
            FileOutcome out;
            out.error = "cannot read image: " + error;
            return out;
        }
        gray = grayPixels(*image);
        return decodeGray(gray, image->width, image->height, mostSymbols, threads, cameraFrame);
    } catch (const std::bad_alloc&) {
        image.reset();
        FileOutcome out;
        out.error = "not decoded: out of memory";
        return out;
    }
}

// Grades the symbols out.file located in out.image, whose gray pixels the decode read.
void gradeLocated(GradedFile& out, std::vector<uint8_t>& gray, Light light, Aperture aperture,
                  GradingMode mode) {
    const DecodeResult& r = out.file.result;
    if (!out.image || !out.file.error.empty())
        return;
    try {
        // The decode read gray; the grade reads the channel of the light (red, green, blue).
        bool channelDiffers = false;
        if (light != Light::White) {
            const size_t channel = light == Light::Red ? 0 : light == Light::Green ? 1 : 2;
            for (size_t i = 0; i < gray.size(); ++i) {
                const uint8_t level = out.image->rgb[3 * i + channel];
                channelDiffers = channelDiffers || level != gray[i];
                gray[i] = level;
            }
        }
        const ImageView view{gray, out.image->width, out.image->height};
        // A symbol whose colours the gray level hides (green on red) shows in the light's
        // channel: the decoder reads that too before the grading looks for the symbol itself.
        DecodeResult inLight;
        if (!r.decoded && channelDiffers && out.file.symbols.empty()) {
            DecodeOptions options;
            options.enlarge = true;
            inLight = decodeImage(view, options);
        }
        // The picture is already in the light's channel: graded as white light sees it.
        // A symbol the decode did not read is looked for by the grading itself.
        out.grade = gradeDecoded(view, inLight.decoded ? inLight : r, Light::White, aperture, mode);
        for (size_t i = 0; i < out.file.symbols.size(); ++i) {
            const DecodeResult& s = out.file.symbols[i];
            // The first symbol is the one graded above.
            out.grades.push_back(i == 0 ? out.grade
                                        : gradeSymbol(view, *s.corners, s.sizeIndex, s.inverted,
                                                      Light::White, aperture, mode));
        }
    } catch (const std::bad_alloc&) {
        out.file = FileOutcome{};
        out.file.error = "not decoded: out of memory";
        out.image.reset();
    }
}

}  // namespace

std::vector<uint8_t> grayPixels(const RgbImage& image) {
    std::vector<uint8_t> gray(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < gray.size(); ++i) {
        const uint8_t* p = image.rgb.data() + 3 * i;
        gray[i] = grayLevel(p[0], p[1], p[2]);
    }
    return gray;
}

FileOutcome decodeImageFile(const std::string& path, std::optional<int32_t> mostSymbols,
                            int32_t threads, bool cameraFrame) {
    std::optional<RgbImage> image;
    std::vector<uint8_t> gray;
    return loadAndDecode(path, image, gray, mostSymbols, threads, cameraFrame);
}

FileOutcome decodeImageFile(const std::string& path, std::optional<int32_t> mostSymbols,
                            std::optional<RgbImage>& image) {
    std::vector<uint8_t> gray;
    return loadAndDecode(path, image, gray, mostSymbols);
}

GradedFile gradeImageFile(const std::string& path, Light light, std::optional<int32_t> mostSymbols,
                          Aperture aperture, GradingMode mode) {
    GradedFile out;
    std::vector<uint8_t> gray;
    out.file = loadAndDecode(path, out.image, gray, mostSymbols);
    gradeLocated(out, gray, light, aperture, mode);
    return out;
}

FileOutcome decodeRgbImage(const RgbImage& image, std::optional<int32_t> mostSymbols) {
    try {
        return decodeGray(grayPixels(image), image.width, image.height, mostSymbols);
    } catch (const std::bad_alloc&) {
        FileOutcome out;
        out.error = "not decoded: out of memory";
        return out;
    }
}

GradedFile gradeRgbImage(RgbImage image, Light light, std::optional<int32_t> mostSymbols,
                         Aperture aperture, GradingMode mode) {
    GradedFile out;
    std::vector<uint8_t> gray;
    try {
        gray = grayPixels(image);
    } catch (const std::bad_alloc&) {
        out.file.error = "not decoded: out of memory";
        return out;
    }
    out.file = decodeGray(gray, image.width, image.height, mostSymbols);
    out.image = std::move(image);
    gradeLocated(out, gray, light, aperture, mode);
    return out;
}

}  // namespace dm
