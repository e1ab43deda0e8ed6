#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "tools/commands.h"
#include "tools/file_decoding.h"

namespace dm::tool {
namespace {

namespace fs = std::filesystem;

struct EvalOptions {
    std::string dir;
    int jobs = 0;
};

struct Sample {
    fs::path image;
    std::string expected;
};

struct Verdict {
    FileOutcome outcome;
    bool match = false;
};

bool isImage(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".bmp";
}

std::string latin1ToUtf8(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Expected texts are UTF-8: compare the text as decode prints it (GBK where no ECI is in
// force); the bytes as they are, or read as Latin-1, may match too.
bool matches(const DecodeResult& decoded, const std::string& expected) {
    return decoded.text == expected || displayText(decoded) == expected ||
           latin1ToUtf8(decoded.text) == expected;
}

std::vector<Sample> collect(const fs::path& dir) {
    std::vector<Sample> samples;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.is_regular_file() || !isImage(entry.path()))
            continue;
        fs::path txt = entry.path();
        txt.replace_extension(".txt");
        std::ifstream in(txt, std::ios::binary);
        if (!in)
            continue;
        samples.push_back(
            {entry.path(), {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}});
    }
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.image < b.image; });
    return samples;
}

void run(const EvalOptions& opts) {
    std::error_code ec;
    if (!fs::is_directory(opts.dir, ec)) {
        std::cerr << "eval: '" << opts.dir << "' is not a folder\n";
        throw CLI::RuntimeError(2);
    }
    const std::vector<Sample> samples = collect(opts.dir);
    if (samples.empty()) {
        std::cerr << "eval: no images with a NAME.txt beside them in '" << opts.dir << "'\n";
        throw CLI::RuntimeError(2);
    }
    const int jobs = std::clamp(
        opts.jobs > 0 ? opts.jobs : static_cast<int>(std::thread::hardware_concurrency()), 1,
        static_cast<int>(samples.size()));
    const bool progress = isatty(STDERR_FILENO);
    std::vector<Verdict> verdicts(samples.size());
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex outputLock;
    auto worker = [&] {
        for (size_t i = next++; i < samples.size(); i = next++) {
            Verdict& v = verdicts[i];
            v.outcome = decodeImageFile(samples[i].image.string());
            v.match = v.outcome.result.decoded && matches(v.outcome.result, samples[i].expected);
            const size_t finished = ++done;
            if (progress) {
                std::lock_guard lock(outputLock);
                std::cerr << "\r[" << finished << '/' << samples.size() << "] " << std::flush;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t)
        threads.emplace_back(worker);
    for (auto& t : threads)
        t.join();
    if (progress)
        std::cerr << "\r\033[K";

    int decoded = 0;
    std::map<int, int> statusCounts;
    std::vector<double> times;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Verdict& v = verdicts[i];
        const std::string name = samples[i].image.filename().string();
        if (!v.outcome.loaded) {
            std::cout << "FAIL " << name << ": cannot read image: " << v.outcome.loadError << '\n';
            continue;
        }
        times.push_back(v.outcome.milliseconds);
        ++statusCounts[toInt(v.outcome.result.status)];
        if (v.match) {
            ++decoded;
        } else if (v.outcome.result.decoded) {
            std::cout << "FAIL " << name << ": decoded "
                      << jsonString(displayText(v.outcome.result)) << ", expected "
                      << jsonString(samples[i].expected) << '\n';
        } else {
            std::cout << "FAIL " << name << ": status " << toInt(v.outcome.result.status) << " ("
                      << statusMeaning(v.outcome.result.status) << ")\n";
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times.empty() ? 0
                          : times.size() % 2
                              ? times[times.size() / 2]
                              : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::cout << "decoded " << decoded << '/' << samples.size() << " (" << std::fixed
              << std::setprecision(1) << 100.0 * decoded / samples.size() << "%)\n";
    for (const auto& [status, count] : statusCounts) {
        std::cout << "  status " << std::setw(2) << status << ": " << std::setw(4) << count << "  ("
                  << statusMeaning(static_cast<DecodeStatus>(status)) << ")\n";
    }
    std::cout << "median " << std::setprecision(3) << median << " ms per image\n";
    std::cout.flush();
    if (decoded != static_cast<int>(samples.size()))
        throw CLI::RuntimeError(1);
}

}  // namespace

void addEvalCommand(CLI::App& app) {
    auto options = std::make_shared<EvalOptions>();
    CLI::App* cmd = app.add_subcommand(
        "eval",
        "Decode every image in a folder that has NAME.txt beside it and compare the text. "
        "Prints one line per failure and a summary. Exit status 0 only when all match.");
    cmd->add_option("dir", options->dir, "Folder of images")->required();
    cmd->add_option("-j,--jobs", options->jobs, "Decoding threads (default: one per core)");
    cmd->callback([options] { run(*options); });
}

}  // namespace dm::tool
