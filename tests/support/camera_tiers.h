#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decoder/frame_dib.h"
#include "tests/support/frame_synth.h"

namespace dm::test {

// What a camera sees, at three levels of difficulty (all 640 x 480, a symbol from zint or
// libdmtx on a light label with a 2-4 module quiet zone over a gray background, anywhere in the
// frame at any rotation):
// - Clean: dark 0-40, light 200-255, noise sigma 1, no blur, modules 4-9 pixels.
// - Camera: corners moved by up to 6 % of the symbol side, dark 0-70, light 160-250, a light
//   gradient across the frame, blur sigma up to 1.2, noise sigma 4, JPEG quality 60-95.
// - Hard: as camera with corners moved by up to 12 %, blur sigma 0.5-2, noise sigma 9, modules
//   3-8 pixels.
// The mark tiers show the marks people bring beyond clean labels, each under the camera tier's
// light, blur, noise and JPEG unless said otherwise:
// - FinderGaps: one to three modules of the solid L light, one gap anywhere along it.
// - Scratch: a light scratch 0.3-0.6 module wide across the symbol.
// - Stain: a dark disc of 1-2 modules across in the data.
// - Inverted: the whole frame in negative (light modules on a dark label).
// - DotPeenDark: round dots of 50-100 % of the pitch, jittered, dark craters with a bright rim
//   on one side, on brushed metal with streaks and a specular band; modules 6-12 pixels.
// - DotPeenBright: light dots with a shadowed side on dark cast metal; modules 6-12 pixels.
// - Etched: squares darker by 30-60 levels than textured metal.
// - InkLoss: a label whose dark modules lose 0.05-0.2 module at each edge, so light gaps run
//   between them; modules 6-12 pixels.
// - Cylinder: a label wrapped around a cylinder of 1-3 times the symbol's width, across its rows
//   or its columns, shaded toward the cylinder's sides.
// - FineKeystone: multi-region squares (32 x 32 to 144 x 144) at 2-3 pixels per module, corners
//   moved by up to 10 % (a label seen at a slant), blur up to 0.8.
// The photo tiers stand in for photographs of printed and marked parts, each under the camera
// tier's light and noise unless said otherwise:
// - PhotoKeystone: multi-region squares (32 x 32 to 144 x 144) at 2-2.5 pixels per module,
//   seen at a slant that shortens one side by 15-35 % against its opposite (a true keystone),
//   corners moved by up to 4 % besides, a lens's barrel distortion of up to 12 % at the frame's
//   corners (an uncorrected wide lens: lines off the centre bend), blur 0.3-0.7, JPEG quality
//   40-80.
// - FramedEtch: the etched tier's mark with a printed frame around it, 1-3 modules out, a
//   half to one module thick.
// - CroppedGrowth: a small square (10 x 10 to 20 x 20) photographed close, the picture cropped a
//   module or less beyond the symbol, its dark modules grown by 0.1-0.25 module at each edge.
// Damage is drawn only where the error correction can carry it (the symbol sampled at its module
// centres still reads); the finder's gaps cost no codewords.
enum class Tier {
    Clean,
    Camera,
    Hard,
    FinderGaps,
    Scratch,
    Stain,
    Inverted,
    DotPeenDark,
    DotPeenBright,
    Etched,
    InkLoss,
    Cylinder,
    FineKeystone,
    PhotoKeystone,
    FramedEtch,
    CroppedGrowth,
};

inline constexpr Tier kLabelTiers[] = {Tier::Clean, Tier::Camera, Tier::Hard};
inline constexpr Tier kMarkTiers[] = {
    Tier::FinderGaps,    Tier::Scratch, Tier::Stain,   Tier::Inverted, Tier::DotPeenDark,
    Tier::DotPeenBright, Tier::Etched,  Tier::InkLoss, Tier::Cylinder, Tier::FineKeystone};
inline constexpr Tier kPhotoTiers[] = {Tier::PhotoKeystone, Tier::FramedEtch, Tier::CroppedGrowth};

const char* tierName(Tier tier);

struct TierFrame {
    std::string message;  // the bytes the symbol holds
    int sizeIndex = -1;
    std::vector<uint8_t> matrix;    // the symbol as encoded (row 0 at the top, 1 = dark)
    std::string description;        // encoder, scheme, size, module size, angle
    CFrameDib dib;                  // camera format: 24-bit BGR, rows bottom-up
    std::array<PointD, 4> corners;  // outer symbol corners in stored (bottom-up) pixel coordinates:
                                    // top left, top right, bottom right, bottom left of the symbol
};

// Frame number index of a tier's set for one seed; the same arguments give the same frame.
TierFrame tierFrame(Tier tier, uint32_t seed, int index);

// A dot-peen tier's frame (DotPeenDark or DotPeenBright) as tierFrame draws it, but with the
// dots placed up to jitter modules off their modules' middles (the tier's own: 0.08) and gap
// modules of the finder's L made light, starting gapFrom modules past its corner along the L
// walked up the solid column, then along the solid row (-1: the column's module above the
// corner).
struct DotVariant {
    double jitter = 0.08;
    int gap = 0;
    int gapFrom = 0;
};

TierFrame dotVariantFrame(Tier tier, uint32_t seed, int index, const DotVariant& variant);

// Frames without a symbol (640 x 480, camera format): a plain gray surface with a gradient
// and noise; a light page cluttered with dark bars, blocks, lines and L shapes; a fine
// high-contrast texture.
enum class Background { Empty, Cluttered, Textured };

const char* backgroundName(Background background);

CFrameDib backgroundFrame(Background background, uint32_t seed);

// A tier's frame placed at a random spot of a larger frame, as a camera of higher resolution
// sees the same label: the rest a gray surface with noise and soft light (Empty), or pieces of
// the cluttered or textured frames without a symbol.
struct LargeFrame {
    std::string message;
    CFrameDib dib;                  // camera format: 24-bit BGR, rows bottom-up
    std::array<PointD, 4> corners;  // the symbol's outer corners in picture coordinates (top-down,
                                    // pixel corners at whole numbers), as TierFrame orders them
};

LargeFrame largeFrame(Tier tier, uint32_t seed, int index, int width, int height,
                      Background around);

// The same frame with the symbol's centre at (or as near as the label's frame allows to) the
// given point of the large frame, mirrored left to right when asked.
LargeFrame largeFrameAt(Tier tier, uint32_t seed, int index, int width, int height,
                        Background around, PointD centre, bool mirrored = false);

// A large frame of the same grounds without a symbol.
CFrameDib largeGroundFrame(uint32_t seed, int width, int height, Background around);

// A picture of several labels, each a symbol on its light label with a quiet zone of 1-4
// modules, at any rotation and up to 6 % perspective, under the camera tier's light, blur,
// noise and JPEG. Labels do not overlap but may touch, and a label's quiet zone may run off the
// frame (its symbol stays a module inside).
struct LabelsFrame {
    std::vector<std::string> messages;           // each label's bytes, in placement order
    std::vector<std::array<PointD, 4>> corners;  // each symbol's outer corners, top-down
                                                 // picture coordinates: top left, top right,
                                                 // bottom right, bottom left
    CFrameDib dib;                               // camera format: 24-bit BGR, bottom-up
    std::string description;
    size_t placed() const { return messages.size(); }
};

struct LabelSymbol {
    std::vector<uint8_t> matrix;  // rows x cols, row 0 at the top, 1 = dark
    int rows = 0;
    int cols = 0;
    std::string message;
};

// A tier's frame of a symbol it does not draw itself (a rectangular extension size wrapped
// around a cylinder, say): the same placement, look, light, blur, noise and JPEG as its own
// frames, drawn from the seed and index. Nothing when the symbol does not fit the frame at the
// tier's module sizes.
std::optional<TierFrame> tierFrameOf(Tier tier, uint32_t seed, int index, const LabelSymbol& symbol,
                                     int sizeIndex);

// The symbols placed at random in a width x height frame with modules of minModule-maxModule
// pixels; a symbol that finds no room in many tries is left out (see placed()).
LabelsFrame labelsFrame(std::span<const LabelSymbol> symbols, uint32_t seed, int width, int height,
                        double minModule, double maxModule);

// The multi-label tier's frame: 640 x 480 with 2-6 labels of random sizes up to 32 x 32 and
// random schemes from zint and libdmtx, modules 3.5-7 pixels.
LabelsFrame multiLabelFrame(uint32_t seed, int index);

}  // namespace dm::test
