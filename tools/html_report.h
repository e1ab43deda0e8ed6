#pragma once

// A batch's results as one self-contained HTML page for people to look through: a summary and
// one row per picture with a thumbnail, the located outline, the texts, status, time and grade.
// Everything is in the page (pictures as data: URIs, an inline script and style): it opens
// offline and can be mailed as one file.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/decode_image.h"
#include "platform/image_files.h"

namespace dm::tool {

// Largest side of a thumbnail in pixels: enough to see the symbol, small enough that a report
// of thousands of pictures stays a few tens of megabytes.
inline constexpr int kThumbnailSide = 160;

// A picture scaled down for the report and compressed, with the size of the image it shows.
struct Thumbnail {
    int imageWidth = 0;  // of the full image, in whose pixels outlines are given
    int imageHeight = 0;
    std::string mediaType;       // "image/png" or "image/jpeg"
    std::vector<uint8_t> bytes;  // the compressed file; empty when there is no picture
};

// The image scaled down by area averaging to at most largestSide pixels a side (never
// enlarged), compressed as PNG or JPEG, whichever is smaller.
Thumbnail makeThumbnail(const RgbImage& image, int largestSide = kThumbnailSide);

// One picture of the batch.
struct ReportRow {
    std::string name;  // the file as given, bytes as they are
    bool passed = false;
    std::string status;       // the filter's key: letters, digits and '-' only
    std::string statusLabel;  // e.g. "status 6"
    std::string meaning;      // what the status means, the same for every row of it
    std::string detail;       // what went wrong with this picture, where there is more to say
    std::optional<std::string> expected;  // the text expected, where there is one
    std::vector<std::string> decoded;     // each text read, as displayed (UTF-8 or not)
    std::optional<double> milliseconds;   // decode time; nothing when not decoded
    std::vector<double> grades;           // overall grade of each graded symbol
    std::vector<SymbolCorners> outlines;  // each located symbol, in the image's pixels
    Thumbnail thumbnail;
};

struct HtmlReport {
    std::string title;               // e.g. "dmcodec eval samples/clean"
    std::string passedWord;          // what a passing row did: "matched", "graded"
    std::string timeNote;            // what the times are
    bool graded = false;             // a grade column and the grade distribution, else neither
    bool expected = false;           // an expected-text column
    std::vector<std::string> notes;  // lines under the summary
    std::vector<ReportRow> rows;
};

// The page: failing rows first, then in the order given.
std::string htmlReport(HtmlReport report);

// Why the path cannot name the report page, empty when it can: it must end in .html or .htm
// (any case), so that it opens as a page.
std::string htmlNameError(const std::string& path);

// Bytes as HTML text: markup characters escaped, valid UTF-8 kept, each byte that is not part
// of valid UTF-8 and each control character but line feed and tab shown as a marked \xNN; a
// line feed is kept, after a marked arrow, so that a text's line ends can be seen.
std::string htmlText(std::string_view bytes);

}  // namespace dm::tool
