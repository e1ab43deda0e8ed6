#pragma once

// Print-quality grading of a Data Matrix symbol in an image, as a verifier reports it: the
// parameters for two-dimensional matrix symbols, each graded from 4 (A) to 0 (F), and the
// overall grade, the lowest of them.
//
//     const dm::SymbolGrade g = dm::gradeImage({pixels, width, height});  // gray pixels
//     if (g.located) show(g.overall, g.parameters);
//
// Reflectance is read as level / 255 (no calibration against a reference, no gamma), from the
// red channel of colour images unless another light is asked for, through a synthetic circular
// aperture of 0.8 module; an image made under other conditions than a verifier's (a camera
// frame above all) gives an indicative grade.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/decode_image.h"
#include "grading/reflectance_image.h"
#include "symbology/api.h"
#include "symbology/codeword_correction.h"

namespace dm {

enum class Parameter : uint8_t {
    Decode,
    SymbolContrast,
    Modulation,
    ReflectanceMargin,
    FixedPatternDamage,
    AxialNonuniformity,
    GridNonuniformity,
    UnusedErrorCorrection,
    // A direct part mark's grade holds its own parameters in three of the slots.
    CellContrast = SymbolContrast,
    CellModulation = Modulation,
    MinimumReflectance = ReflectanceMargin,
};
inline constexpr size_t kParameterCount = 8;

// What a grade measures: the print quality of a symbol printed on a label, or of a mark made
// directly on a part (dot-peen, laser, etched), whose grade reads cell contrast, cell modulation
// and minimum reflectance in place of symbol contrast, modulation and reflectance margin, on a
// picture exposed so that the mean of the light cells lies at a fixed level, its grid measured
// with the gaps between dots closed.
enum class GradingMode : uint8_t { Print, DirectPartMark };

// "Decode", "Symbol contrast", ...; "Cell contrast", "Cell modulation", "Minimum reflectance"
// in their slots for a direct part mark.
DM_API std::string_view parameterName(Parameter parameter, GradingMode mode = GradingMode::Print);

// 'A' (3.5 and above), 'B' (2.5), 'C' (1.5), 'D' (0.5) or 'F'.
DM_API char gradeLetter(double grade);

struct ParameterGrade {
    Parameter parameter = Parameter::Decode;
    // What was measured: Decode 1 or 0; Symbol contrast, Unused error correction as fractions;
    // Modulation and Reflectance margin the lowest codeword module the grade rests on (those of
    // codewords graded below it, within the error correction's reserve, aside; the lowest of all
    // in SymbolGrade); Fixed pattern damage the pattern modules that kept its grade from being
    // higher (none at A); Axial and Grid non-uniformity as fractions of the module size.
    double value = 0;
    double grade = 0;  // 4 to 0; Fixed pattern damage of symbols with several regions averages
    // False when the grid the parameter is measured at could not be measured or followed (see
    // SymbolGrade::gridFailure): value and grade are then 0 and mean nothing.
    bool measured = true;
};

// Why the grading could not measure a located symbol at its own grid.
enum class GridFailure : uint8_t {
    None,
    OutlineNotFound,  // the outer edges of the finder and clock tracks form no quadrilateral
    GridLost,         // the clock tracks could not be followed: the symbol does not read at
                      // the centres they gave, which lie off the grid or read the clocks wrong
    OffPicture,       // modules of the symbol lie outside the picture
};

// "the outer edges of the finder and clock tracks were not found", ...; empty for None.
DM_API std::string_view gridFailureText(GridFailure failure);

// One module as graded. Quiet-zone modules lie outside the symbol (row or column -1, or one
// past the last).
struct ModuleReading {
    int32_t row = 0;
    int32_t col = 0;
    ImagePoint centre;       // where it was measured, in picture coordinates
    double reflectance = 0;  // through the aperture, 0 to 1; -1 outside the image
    bool dark = false;       // what the module should be (from the decoded codewords)
    double modulation = 0;   // 2 |R - GT| / SC
    double margin = 0;       // the modulation, negative when read the wrong colour
    uint8_t modulationGrade = 0;
    uint8_t marginGrade = 0;  // 0 when read the wrong colour
};

// A stretch of the fixed pattern graded as one: part of the solid finder (L1 the solid column,
// L2 the solid row), of the quiet zone beside it (QZL1, QZL2), or the alternating clock tracks
// and inner alignment patterns of one region.
struct PatternSegment {
    enum class Kind : uint8_t { L1, L2, QZL1, QZL2, ClockAndAlignment };
    Kind kind = Kind::L1;
    std::vector<int32_t> modules;  // indexes into SymbolGrade::patternModules
    double grade = 0;  // at the level that set the damage grade (the lowest level when it is 0)
    // Modules damaged at the grade level just above the damage grade (those that kept it from
    // being higher); none when the grade is 4.
    std::vector<int32_t> damaged;
};

struct SymbolGrade {
    GradingMode mode = GradingMode::Print;
    bool located = false;  // a symbol outline and size to grade; else every grade is 0
    bool decoded = false;
    // The message the grade's own reading decoded, as DecodeResult::text and eciSegments give a
    // decode's; empty when it did not decode. It is what a decode at the grid reads, which can
    // be a symbol the decoder did not read.
    std::string text;
    std::vector<EciSegment> eciSegments;
    // When set, the parameters measured at the grid are not measured and the overall grade is 0.
    GridFailure gridFailure = GridFailure::None;
    // How the grade's own reading ended: Success when it decoded, GridLost on a grid failure,
    // else where the correction or the data decodation failed.
    DecodeStatus status = DecodeStatus::NoFinder;
    int32_t sizeIndex = -1;
    int32_t symbolRows = 0;
    int32_t symbolCols = 0;
    double moduleSize = 0;      // mean module pitch, pixels
    double aperture = 0;        // synthetic aperture diameter, pixels
    double maxReflectance = 0;  // over the symbol and its one-module quiet zone
    double minReflectance = 0;
    double globalThreshold = 0;  // halfway between them
    // The lowest modulation and margin of any codeword module, those within the error
    // correction's reserve too (a margin is negative for a module read the wrong colour).
    double lowestModulation = 0;
    double lowestMargin = 0;
    // Print growth, informative: how far each edge of the dark modules lies outside its nominal
    // place, in modules, across the columns (X) and down the rows (Y); negative for ink loss. A
    // lone dark module is 1 + 2 printGrowthX wide.
    double printGrowthX = 0;
    double printGrowthY = 0;
    // A direct part mark's exposure: the factor its reflectances were multiplied by (held at 1)
    // to put the mean of the light cells at the target, and the means of the light and dark
    // cells after it. Factor 1 and means 0 for a print.
    double exposure = 1;
    double meanLight = 0;
    double meanDark = 0;
    std::array<ParameterGrade, kParameterCount> parameters{};
    double overall = 0;                         // the lowest parameter grade
    SymbolCorners corners{};                    // outline of the measured grid
    std::vector<ModuleReading> modules;         // symbolRows x symbolCols, row-major
    std::vector<ModuleReading> patternModules;  // finder, clocks, alignment and quiet zone
    std::vector<PatternSegment> segments;
    // Quiet-zone modules beside the finder that the picture does not hold whole: not measured,
    // left out of their segments (a segment left without modules is not graded).
    int32_t quietZoneOffPicture = 0;
    std::vector<BlockErrors> blocks;

    const ParameterGrade& operator[](Parameter p) const {
        return parameters[static_cast<size_t>(p)];
    }
};

// The synthetic aperture reflectance is read through: a share of the module pitch (the 0.8 of
// the X dimension verifiers use when no other is asked for), or a diameter in pixels (an
// aperture in mils at the picture's resolution).
struct Aperture {
    double moduleShare = 0.8;
    double pixels = 0;  // above 0: this diameter, whatever the module size

    double diameter(double moduleSize) const {
        return pixels > 0 ? pixels : moduleShare * moduleSize;
    }
};

// The aperture a mode reads through when none is asked for: 0.8 module for a print, half a
// module for a direct part mark, so that a dot smaller than its cell fills most of it.
DM_API Aperture defaultAperture(GradingMode mode);

// Grades the symbol of the given size whose outer corners (top left, top right, bottom right,
// bottom left as printed, picture coordinates) a decode located in the image, its reflectance
// read in the light given (colour images; red by default, as verifiers light a symbol). A
// symbol printed light on dark (inverted) is graded on the image's negative, where its modules
// are dark; as a direct part mark its light cells, exposure and minimum reflectance stay those
// of the picture as taken.
DM_API SymbolGrade gradeSymbol(const ImageView& image, const SymbolCorners& corners,
                               int32_t sizeIndex, bool inverted = false, Light light = Light::Red,
                               Aperture aperture = {}, GradingMode mode = GradingMode::Print);

// Grades the symbol a decode of the image (decodeImage, or a symbol of decodeAllSymbols) read:
// at the corners it read it at. When it read none, the grading looks for the symbol itself, as
// a verifier grades what a decoder cannot read: at the corners the decode measured, else at the
// outlines the decoder's whole-frame search finds (finders with gaps, separate dots) that sample
// like a symbol, read at the grid the grading measures there; the first place where that
// reading decodes, else the decode's corners, else the first outline, graded with Decode F. Not
// located when there is none.
DM_API SymbolGrade gradeDecoded(const ImageView& image, const DecodeResult& decode,
                                Light light = Light::Red, Aperture aperture = {},
                                GradingMode mode = GradingMode::Print);

// Decodes the image with decodeImage and grades the symbol as gradeDecoded does, through the
// mode's default aperture.
DM_API SymbolGrade gradeImage(const ImageView& image, Light light = Light::Red,
                              GradingMode mode = GradingMode::Print);

}  // namespace dm
