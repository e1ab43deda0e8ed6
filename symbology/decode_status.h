#pragma once

#include <cstdint>
#include <string_view>

#include "symbology/api.h"

namespace dm {

// Result of one decode. The numbers are the ones the tools print and must not change.
enum class DecodeStatus : int32_t {
    DataDecodationFailed = 0,
    Success = 1,
    OutOfMemory = 2,
    MissingInput = 3,
    SizeIndexOutOfRange = 4,
    BlockUnprocessable = 5,
    BlockUncorrectable = 6,
    NoFinder = 9,
    NoFinderAfterFirstArm = 10,
    FinderOutsideImage = 11,
    NoSizeMatch = 12,
    GridLost = 13,
    AlignmentMismatch = 14,
};

constexpr int32_t toInt(DecodeStatus s) {
    return static_cast<int32_t>(s);
}

// One-line English description of a status, for tools and logs.
DM_API std::string_view statusMeaning(DecodeStatus s);

// How far a failed decode got, from 0 (no finder) to 5 (sampled, but the codewords held no
// message): the furthest of several attempts is the one worth reporting or building on.
DM_API int decodeProgress(DecodeStatus status);

}  // namespace dm
