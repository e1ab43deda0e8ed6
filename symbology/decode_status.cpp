#include "symbology/decode_status.h"

namespace dm {

std::string_view statusMeaning(DecodeStatus s) {
    switch (s) {
        case DecodeStatus::DataDecodationFailed:
            return "data decodation failed";
        case DecodeStatus::Success:
            return "success";
        case DecodeStatus::OutOfMemory:
            return "memory could not be allocated";
        case DecodeStatus::MissingInput:
            return "a required input is missing or invalid";
        case DecodeStatus::SizeIndexOutOfRange:
            return "size index outside the table";
        case DecodeStatus::BlockUnprocessable:
            return "a Reed-Solomon block cannot be processed";
        case DecodeStatus::BlockUncorrectable:
            return "a Reed-Solomon block is uncorrectable";
        case DecodeStatus::NoFinder:
            return "no finder found";
        case DecodeStatus::NoFinderAfterFirstArm:
            return "no finder found (a first arm was confirmed)";
        case DecodeStatus::FinderOutsideImage:
            return "finder outside the image or arms too short";
        case DecodeStatus::NoSizeMatch:
            return "module counts match no symbol size";
        case DecodeStatus::GridLost:
            return "timing pattern or module grid cannot be followed";
        case DecodeStatus::AlignmentMismatch:
            return "inner alignment line has the wrong number of modules";
    }
    return "unknown status";
}

int decodeProgress(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::NoFinder:
            return 0;
        case DecodeStatus::NoFinderAfterFirstArm:
            return 1;
        case DecodeStatus::FinderOutsideImage:
            return 2;
        case DecodeStatus::NoSizeMatch:
            return 3;
        case DecodeStatus::GridLost:
        case DecodeStatus::AlignmentMismatch:
            return 4;
        default:  // sampled: the codewords did not hold a message
            return 5;
    }
}

}  // namespace dm
