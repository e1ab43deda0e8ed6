// Prints what the decoder makes of every synthesised tier frame, one line per frame and reading
// (one camera frame with a fresh count, the still-image reading), and of frames without a
// symbol: decoded, status, whether the text is the one printed, size, and the outline to
// 0.001 pixel. Two runs of the same binary print the same lines; compare the output before and
// after a change that should not change what is read.
// Usage: dm_tier_dump [FRAMES_PER_TIER=300] [SEED...=1 7]
// DM_DUMP_TIERS=marks dumps the mark tiers instead of the label tiers (photos: the photo tiers;
// all: every tier; a tier's name, or several joined by commas, dumps those tiers only);
// DM_DUMP_PICTURES=DIR also writes each tier frame there as a PGM picture;
// DM_DUMP_DOTS=JITTER[,GAP,FROM] draws the dot-peen tiers' dots with that jitter (modules) and,
// given, a gap of GAP modules in the finder starting FROM modules past its corner (see
// dm::test::DotVariant).
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "decoder/frame_intake.h"
#include "tests/support/camera_tiers.h"

namespace {

void printResult(const char* label, const dm::DecodeResult& r, const std::string& expected) {
    std::printf(" | %s %d st=%d ok=%d size=%d", label, r.decoded ? 1 : 0,
                static_cast<int>(r.status), r.decoded && r.text == expected ? 1 : 0, r.sizeIndex);
    if (r.corners) {
        for (const dm::ImagePoint& p : *r.corners)
            std::printf(" %.3f,%.3f", p.x, p.y);
    }
    if (r.mirrored)
        std::printf(" mirrored");
}

// The frame as a PGM picture (top row first) in the folder.
void writePicture(const std::string& folder, const std::string& name, const dm::CFrameDib& dib) {
    std::string path = folder + "/" + name + ".pgm";
    for (char& c : path)
        c = c == ' ' ? '-' : c;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return;
    const auto view = dm::frameView(dib);
    std::fprintf(out, "P5\n%d %d\n255\n", view->width, view->height);
    for (int y = view->height - 1; y >= 0; --y) {
        const uint8_t* row = view->pixels.data() + static_cast<size_t>(y) * view->strideBytes();
        for (int x = 0; x < view->width; ++x)
            std::fputc(row[3 * x + 1], out);
    }
    std::fclose(out);
}

void dumpFrame(const char* name, const dm::CFrameDib& dib, const std::string& expected) {
    const auto view = dm::frameView(dib);
    std::printf("%s", name);
    if (!view) {
        std::printf(" | no view\n");
        return;
    }
    printResult("frame", dm::decodeImage(*view, {0u}), expected);
    printResult("still", dm::decodeImage(*view), expected);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    std::vector<uint32_t> seeds;
    for (int i = 2; i < argc; ++i)
        seeds.push_back(static_cast<uint32_t>(std::atoi(argv[i])));
    if (seeds.empty())
        seeds = {1, 7};
    using dm::test::Tier;
    const char* which = std::getenv("DM_DUMP_TIERS");
    const std::string set = which ? which : "labels";
    std::vector<Tier> tiers;
    if (set != "marks" && set != "photos")
        tiers.assign(std::begin(dm::test::kLabelTiers), std::end(dm::test::kLabelTiers));
    if (set != "labels" && set != "photos")
        tiers.insert(tiers.end(), std::begin(dm::test::kMarkTiers), std::end(dm::test::kMarkTiers));
    // The photo tiers only when named, as a group or one by one: the groups above stay as
    // they were.
    if (set != "labels" && set != "marks")
        tiers.insert(tiers.end(), std::begin(dm::test::kPhotoTiers),
                     std::end(dm::test::kPhotoTiers));
    // Tiers named one by one.
    const bool named = set != "marks" && set != "labels" && set != "all" && set != "photos";
    if (named) {
        const std::string list = std::string(",").append(set).append(",");
        std::erase_if(tiers, [&](Tier t) {
            const std::string name = std::string(",").append(dm::test::tierName(t)).append(",");
            return list.find(name) == std::string::npos;
        });
    }
    const char* pictures = std::getenv("DM_DUMP_PICTURES");
    std::optional<dm::test::DotVariant> dots;
    if (const char* d = std::getenv("DM_DUMP_DOTS")) {
        dots.emplace();
        std::sscanf(d, "%lf,%d,%d", &dots->jitter, &dots->gap, &dots->gapFrom);
    }
    for (const uint32_t seed : seeds) {
        for (const Tier tier : tiers) {
            for (int i = 0; i < frames; ++i) {
                const bool dotted = tier == Tier::DotPeenDark || tier == Tier::DotPeenBright;
                const dm::test::TierFrame f = dots && dotted
                                                  ? dm::test::dotVariantFrame(tier, seed, i, *dots)
                                                  : dm::test::tierFrame(tier, seed, i);
                const std::string name = std::string(dm::test::tierName(tier)) + " " +
                                         std::to_string(seed) + " " + std::to_string(i);
                if (pictures)
                    writePicture(pictures, name, f.dib);
                dumpFrame(name.c_str(), f.dib, f.message);
            }
        }
        if (set == "marks" || set == "photos" || named)
            continue;
        for (const auto bg : {dm::test::Background::Empty, dm::test::Background::Cluttered,
                              dm::test::Background::Textured}) {
            for (uint32_t s = 0; s < 20; ++s) {
                const std::string name = std::string(dm::test::backgroundName(bg)) + " " +
                                         std::to_string(seed * 100 + s);
                dumpFrame(name.c_str(), dm::test::backgroundFrame(bg, seed * 100 + s), "");
            }
        }
    }
    return 0;
}
