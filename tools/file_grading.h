#pragma once

#include <optional>
#include <string>

#include "grading/print_quality.h"
#include "platform/image_files.h"
#include "tools/file_decoding.h"

namespace dm::tool {

// What grading one image file gave.
struct GradedFile {
    FileOutcome file;               // the decode, as decodeImageFile gives it
    std::optional<RgbImage> image;  // the image as loaded; nothing when it could not be read
    SymbolGrade grade;              // of the symbol the decode located; not located when none
};

// Loads an image file once, decodes it as decodeImageFile does and grades the symbol the decode
// located, in the image's own pixels.
GradedFile gradeImageFile(const std::string& path);

}  // namespace dm::tool
