// Reads the camera tier's frames placed in large frames, and as many large frames without a
// symbol, as one camera frame each; prints one line per frame (decoded, status, whether the
// text is the one printed, the outline to 0.001 pixel) and then the median and worst time.
// Two runs of the same binary print the same lines but the times: compare them before and
// after a change, or run it under callgrind to count instructions.
// Usage: dm_large_frame_dump [WIDTH=3840] [HEIGHT=2160] [FRAMES=10]
//                            [GROUND=empty|cluttered|textured] [THREADS=1] [SEED=1]
// DM_DUMP_TIMES=1 adds each frame's time to its line. One thread is timed by its processor time,
// several by the wall clock; DM_DUMP_WALL=1 times one thread by the wall clock too (to set the
// counts side by side on the same clock). The frames are read as a camera loop reads them, with
// buffers kept from one frame to the next; DM_DUMP_FRESH=1 gives each frame fresh ones.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "decoder/frame_intake.h"
#include "tests/support/camera_tiers.h"

namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this thread in milliseconds: on a shared machine it varies far less than
// the wall clock, and it is what one thread costs.
double threadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Times {
    std::vector<double> ms;
    void print(const char* what) {
        if (ms.empty())
            return;
        std::sort(ms.begin(), ms.end());
        std::printf("# %s: median %.3f ms, worst %.3f ms\n", what, ms[ms.size() / 2], ms.back());
    }
};

double readOnce(const dm::CFrameDib& dib, const std::string& expected, int threads,
                const std::string& name, int& decoded) {
    const auto view = dm::frameView(dib);
    if (!view) {
        std::printf("%s | no view\n", name.c_str());
        return 0;
    }
    dm::DecodeOptions options{0u};
    options.threads = threads;
    // One thread: its processor time; several: the wall clock until all are done.
    static const bool wall = std::getenv("DM_DUMP_WALL") != nullptr;
    const auto start = Clock::now();
    const double startCpu = threadMilliseconds();
    static dm::FrameBuffers kept;
    static const bool fresh = std::getenv("DM_DUMP_FRESH") != nullptr;
    dm::FrameBuffers own;
    const dm::DecodeResult r = dm::decodeImage(*view, options, fresh ? own : kept);
    const double ms = threads == 1 && !wall
                          ? threadMilliseconds() - startCpu
                          : std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool ok = r.decoded && r.text == expected;
    decoded += ok;
    std::printf("%s | %d st=%d ok=%d size=%d", name.c_str(), r.decoded ? 1 : 0,
                static_cast<int>(r.status), ok ? 1 : 0, r.sizeIndex);
    if (r.corners) {
        for (const dm::ImagePoint& p : *r.corners)
            std::printf(" %.3f,%.3f", p.x, p.y);
    }
    // DM_DUMP_TIMES=1: each frame's time too (the lines then differ from run to run).
    static const bool times = std::getenv("DM_DUMP_TIMES") != nullptr;
    if (times)
        std::printf(" | %.3f ms", ms);
    std::printf("\n");
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const int width = argc > 1 ? std::atoi(argv[1]) : 3840;
    const int height = argc > 2 ? std::atoi(argv[2]) : 2160;
    const int frames = argc > 3 ? std::atoi(argv[3]) : 10;
    const char* groundName = argc > 4 ? argv[4] : "empty";
    const int threads = argc > 5 ? std::atoi(argv[5]) : 1;
    const auto seed = static_cast<uint32_t>(argc > 6 ? std::atoi(argv[6]) : 1);
    if (width < 640 || height < 480 || frames < 0 || threads < 1) {
        std::fprintf(stderr,
                     "usage: dm_large_frame_dump [WIDTH>=640] [HEIGHT>=480] [FRAMES] "
                     "[empty|cluttered|textured] [THREADS>=1] [SEED]\n");
        return 2;
    }
    const auto ground = std::strcmp(groundName, "cluttered") == 0  ? dm::test::Background::Cluttered
                        : std::strcmp(groundName, "textured") == 0 ? dm::test::Background::Textured
                                                                   : dm::test::Background::Empty;
    Times with, without;
    int decoded = 0, none = 0;
    for (int i = 0; i < frames; ++i) {
        const dm::test::LargeFrame frame =
            dm::test::largeFrame(dm::test::Tier::Camera, seed, i, width, height, ground);
        with.ms.push_back(
            readOnce(frame.dib, frame.message, threads, "symbol " + std::to_string(i), decoded));
    }
    for (int i = 0; i < frames; ++i) {
        const dm::CFrameDib dib = dm::test::largeGroundFrame(seed * 1000 + static_cast<uint32_t>(i),
                                                             width, height, ground);
        without.ms.push_back(readOnce(dib, "", threads, "none " + std::to_string(i), none));
    }
    std::printf("# %dx%d %s, %d threads: %d of %d read\n", width, height,
                dm::test::backgroundName(ground), threads, decoded, frames);
    with.print("with a symbol");
    without.print("without a symbol");
    return 0;
}
