// Writes the video-path test clips into the folder given as the only argument: for each clip
// a short AVI file, two frames of its symbol at slightly different
// places, so that the picture changes from frame to frame; the large clips' small symbols off
// centre.
#include <cstdio>
#include <vector>

#include "encoder/message_encoder.h"
#include "tests/app/test_clips.h"

using namespace dm;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const auto write = [&](const test::TestClip& clip, double moduleSize, double offsetX,
                           double offsetY) {
        const std::string text = test::clipText(clip);
        const std::optional<EncodedSymbol> symbol = EncodeMessage(text);
        if (!symbol) {
            std::fprintf(stderr, "cannot encode %s\n", text.c_str());
            return false;
        }
        std::vector<test::SynthFrame> frames;
        for (const double offset : {-8.0, 8.0}) {
            const test::SynthOptions options{.width = clip.width,
                                             .height = clip.height,
                                             .moduleSize = moduleSize,
                                             .offsetX = offsetX + offset,
                                             .offsetY = offsetY};
            frames.push_back(
                test::synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side, options));
        }
        const std::string path = std::string(argv[1]) + "/" + test::clipFileName(clip);
        if (!test::writeAviClip(path, clip.format, frames, 10)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return false;
        }
        return true;
    };
    for (const test::TestClip& clip : test::kTestClips) {
        if (!write(clip, clip.height / 80.0, 0, 0)) {
            return 1;
        }
    }
    for (const test::TestClip& clip : test::kLargeClips) {
        if (!write(clip, test::kLargeClipModule, test::largeClipOffsetX(clip),
                   test::largeClipOffsetY(clip))) {
            return 1;
        }
    }
    return 0;
}
