#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "decoder/decode_image.h"
#include "grading/reflectance_image.h"

namespace dm {

// An outline with a size that the grading can measure a grid at.
struct OutlineCandidate {
    SymbolCorners corners{};  // picture coordinates, as a decode gives them
    int32_t sizeIndex = -1;
    bool inverted = false;  // its finder reads lighter than the quiet zone beside it
};

// The decoder's whole-frame search (damaged finders, dots closed into modules, the negative and
// mirror images) run for the grading on a picture whose symbol did not decode: each outline it
// samples into a matrix that looks like a symbol, whether or not that matrix corrects, is handed
// to read as the search meets it, once (the same size at about the same corners is one
// outline), a bounded number of them. The grading reads each at the grid it measures there,
// which can read symbols the decoder's sampling does not; the search ends once read returns
// true. Returns whether one did.
bool searchOutlines(const ReflectanceImage& image,
                    const std::function<bool(const OutlineCandidate&)>& read);

}  // namespace dm
