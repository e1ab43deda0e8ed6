// Print-quality grading of 640 x 480 camera frames: the grade alone (the symbol located by one
// decode beforehand, as `dmcodec grade` locates it), printed and as a direct part mark, on the
// clean, camera, dot-peen and etched tiers (fixed seed). Each benchmark grades the tier's frames
// in turn and reports the median and worst time per frame (the thread's processor time).
// DM_BENCH_FRAMES sets the frames per tier (default 30), DM_BENCH_SEED the seed (default 1).
// Target: a median under 50 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "decoder/frame_intake.h"
#include "grading/print_quality.h"
#include "tests/support/camera_tiers.h"

namespace {

using dm::test::Tier;

double threadMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A frame and where one decode located its symbol.
struct Located {
    dm::test::TierFrame frame;
    dm::DecodeResult read;
};

std::vector<Located> locatedFrames(Tier tier) {
    const char* frames = std::getenv("DM_BENCH_FRAMES");
    const char* seed = std::getenv("DM_BENCH_SEED");
    const int count = frames ? std::max(1, std::atoi(frames)) : 30;
    const auto seedValue = static_cast<uint32_t>(seed ? std::atoi(seed) : 1);
    std::vector<Located> out;
    for (int i = 0; i < count; ++i) {
        Located l{dm::test::tierFrame(tier, seedValue, i), {}};
        l.read = dm::decodeImage(*dm::frameView(l.frame.dib));
        if (l.read.corners && l.read.sizeIndex >= 0)
            out.push_back(std::move(l));
    }
    return out;
}

void gradeFrames(benchmark::State& state, Tier tier, dm::GradingMode mode) {
    const std::vector<Located> frames = locatedFrames(tier);
    if (frames.empty()) {
        state.SkipWithError("no frame located");
        return;
    }
    std::vector<double> ms;
    size_t next = 0;
    for (auto _ : state) {
        const Located& l = frames[next++ % frames.size()];
        const double start = threadMilliseconds();
        const dm::SymbolGrade g =
            dm::gradeSymbol(*dm::frameView(l.frame.dib), *l.read.corners, l.read.sizeIndex,
                            l.read.inverted, dm::Light::Red, dm::defaultAperture(mode), mode);
        ms.push_back(threadMilliseconds() - start);
        benchmark::DoNotOptimize(g.overall);
    }
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["frames"] = static_cast<double>(frames.size());
}

void registerAll() {
    for (const Tier tier : {Tier::Clean, Tier::Camera, Tier::DotPeenDark, Tier::Etched}) {
        for (const dm::GradingMode mode :
             {dm::GradingMode::Print, dm::GradingMode::DirectPartMark}) {
            const std::string name = std::string("Grade/") + dm::test::tierName(tier) +
                                     (mode == dm::GradingMode::Print ? "/print" : "/dpm");
            benchmark::RegisterBenchmark(name.c_str(), [tier, mode](benchmark::State& s) {
                gradeFrames(s, tier, mode);
            })->Unit(benchmark::kMillisecond);
        }
    }
}

[[maybe_unused]] const int kRegistered = (registerAll(), 0);

}  // namespace
