#include "tools/file_grading.h"

#include <new>

namespace dm::tool {

GradedFile gradeImageFile(const std::string& path) {
    GradedFile out;
    try {
        std::string error;
        out.image = loadImage(path, error);
        if (!out.image) {
            out.file.error = "cannot read image: " + error;
            return out;
        }
        const GrayPicture gray = grayPicture(*out.image);
        out.file = decodePicture(gray);
        out.file.loaded = true;
        const DecodeResult& r = out.file.result;
        if (r.corners && r.sizeIndex >= 0)
            out.grade =
                gradeSymbol({gray.gray, gray.width, gray.height, 1}, *r.corners, r.sizeIndex);
    } catch (const std::bad_alloc&) {
        out.file.error = "not decoded: out of memory";
        out.image.reset();
    }
    return out;
}

}  // namespace dm::tool
