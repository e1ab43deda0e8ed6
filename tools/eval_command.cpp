#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/file_reading.h"
#include "platform/file_writing.h"
#include "platform/image_decoding.h"
#include "platform/image_files.h"
#include "tools/commands.h"
#include "tools/html_report.h"
#include "tools/progress_line.h"
#include "tools/result_text.h"

namespace dm::tool {
namespace {

namespace fs = std::filesystem;

struct EvalOptions {
    std::string dir;
    int jobs = 0;
    int memoryMiB = 1024;
    std::string html;  // the report page to write; empty for none
};

// Bytes decoding an image of this many pixels may take at its peak: the colour and gray
// pictures, the thresholded and framed copies the attempts make (about 7.3 bytes a pixel were
// measured on an 8,000 x 8,000 page), and the decoder's own working storage.
constexpr size_t kBytesPerPixel = 8;
constexpr size_t kBytesPerImage = size_t{16} << 20;

size_t peakBytes(const std::filesystem::path& image) {
    const auto size = readImageDimensions(image.string());
    const int64_t pixels = size && size->width > 0 && size->height > 0
                               ? std::min<int64_t>(int64_t{size->width} * size->height,
                                                   kMaxImagePixels)
                               : kMaxImagePixels;  // unknown: the largest image read
    return static_cast<size_t>(pixels) * kBytesPerPixel + kBytesPerImage;
}

// Memory shared by the decoding threads: each takes its image's peak before decoding and gives
// it back after, so that more threads never mean more than the budget; an image larger than
// the whole budget is decoded alone.
class MemoryBudget {
  public:
    explicit MemoryBudget(size_t bytes) : total_(bytes) {}
    size_t take(size_t bytes) {
        bytes = std::min(bytes, total_);
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return used_ == 0 || used_ + bytes <= total_; });
        used_ += bytes;
        return bytes;
    }
    void give(size_t bytes) {
        {
            std::lock_guard lock(mutex_);
            used_ -= bytes;
        }
        freed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    size_t total_;
    size_t used_ = 0;
};

// Expected texts longer than this cannot be a symbol's (3,116 bytes at most, up to three
// UTF-8 bytes for each byte decoded); they are not read.
constexpr size_t kMaxExpectedTextBytes = 64 * 1024;

struct Sample {
    fs::path image;
    std::string expected;
    std::string error;  // why the expected text could not be read
    // A text of two lines or more (empty lines aside) names the symbols of a picture with
    // several, one message a line.
    std::vector<std::string> lines;
};

struct Verdict {
    FileOutcome outcome;
    bool match = false;
    std::vector<std::string> missing;  // lines no symbol read matched
    int extra = 0;                     // symbols read that no line names
    Thumbnail thumbnail;               // for the report page
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

// The text's lines without their line ends, empty ones left out.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// A picture with several symbols: each line must be matched by a symbol of its own (or the
// whole text by one symbol, a message of several lines); the symbols left over are extra.
void judgeSeveral(const Sample& sample, Verdict& v) {
    const std::vector<DecodeResult>& read = v.outcome.symbols;
    if (std::any_of(read.begin(), read.end(),
                    [&](const DecodeResult& r) { return matches(r, sample.expected); })) {
        v.match = true;
        v.extra = static_cast<int>(read.size()) - 1;
        return;
    }
    std::vector<bool> used(read.size());
    for (const std::string& line : sample.lines) {
        size_t k = 0;
        while (k < read.size() && (used[k] || !matches(read[k], line)))
            ++k;
        if (k < read.size())
            used[k] = true;
        else
            v.missing.push_back(line);
    }
    v.match = v.missing.empty();
    v.extra = static_cast<int>(std::count(used.begin(), used.end(), false));
}

// The report page's row of a picture, from what eval prints of it.
ReportRow reportRow(const Sample& sample, Verdict& v) {
    ReportRow row;
    row.name = sample.image.filename().string();
    row.thumbnail = std::move(v.thumbnail);
    const DecodeResult& r = v.outcome.result;
    const std::string& error = sample.error.empty() ? v.outcome.error : sample.error;
    if (!error.empty()) {
        row.status = "unread";
        row.statusLabel = "not run";
        row.meaning = "file or text unreadable, image refused, too small or blank";
        row.detail = error;
        if (sample.error.empty())
            row.expected = sample.expected;
        return row;
    }
    row.expected = sample.expected;
    row.milliseconds = v.outcome.cpuMilliseconds;
    const bool several = !sample.lines.empty();
    if (several) {
        for (const DecodeResult& s : v.outcome.symbols) {
            row.decoded.push_back(displayText(s));
            if (s.corners)
                row.outlines.push_back(*s.corners);
        }
    } else if (r.decoded) {
        row.decoded.push_back(displayText(r));
    }
    if (row.outlines.empty() && r.corners)
        row.outlines.push_back(*r.corners);
    row.passed = v.match;
    if (v.match) {
        row.status = "match";
        row.statusLabel = "matched";
        row.meaning = "decoded the expected text";
        if (v.extra > 0)
            row.detail = std::to_string(v.extra) + " symbols beyond those expected";
    } else if (several && !v.outcome.symbols.empty()) {
        row.status = "missing";
        row.statusLabel = "symbols missing";
        row.meaning = "not every line of the text was read from a symbol";
        row.detail = std::to_string(sample.lines.size() - v.missing.size()) + " of " +
                     std::to_string(sample.lines.size()) + " symbols read";
    } else if (r.decoded) {
        row.status = "mismatch";
        row.statusLabel = "wrong text";
        row.meaning = "decoded, but not the expected text";
    } else {
        row.status = std::string("s").append(std::to_string(toInt(r.status)));
        row.statusLabel = std::string("status ").append(std::to_string(toInt(r.status)));
        row.meaning = statusMeaning(r.status);
    }
    return row;
}

[[noreturn]] void fail(const std::string& message, int code = 1) {
    std::cerr << "eval: " << message << '\n';
    throw CLI::RuntimeError(code);
}

// Every entry named like an image that has NAME.txt beside it, whatever either of them turns
// out to be: what cannot be read is reported with the results.
std::vector<Sample> collect(const fs::path& dir) {
    std::vector<Sample> samples;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (!isImage(it->path()))
            continue;
        fs::path txt = it->path();
        txt.replace_extension(".txt");
        std::error_code missing;
        if (!fs::exists(fs::symlink_status(txt, missing)))
            continue;
        Sample sample{it->path(), {}, {}, {}};
        FileContents text = readRegularFile(txt.string(), kMaxExpectedTextBytes);
        if (text.ok()) {
            sample.expected = std::move(text.bytes);
            if (std::vector<std::string> lines = linesOf(sample.expected); lines.size() > 1)
                sample.lines = std::move(lines);
        } else
            sample.error = "cannot read " + txt.filename().string() + ": " + text.error;
        samples.push_back(std::move(sample));
    }
    if (ec)
        fail("cannot list '" + dir.string() + "': " + errorText(ec.value()));
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.image < b.image; });
    return samples;
}

void run(const EvalOptions& opts) {
    struct stat st {};
    if (::stat(opts.dir.c_str(), &st) != 0) {
        fail("cannot open '" + opts.dir +
             "': " + (errno == ENOENT ? std::string("no such folder") : errorText(errno)));
    }
    if (!S_ISDIR(st.st_mode))
        fail("'" + opts.dir + "' is not a folder");
    const std::vector<Sample> samples = collect(opts.dir);
    if (samples.empty())
        fail("no images with a NAME.txt beside them in '" + opts.dir + "'; nothing to compare");
    const int jobs = std::clamp(
        opts.jobs > 0 ? opts.jobs : static_cast<int>(std::thread::hardware_concurrency()), 1,
        static_cast<int>(samples.size()));
    ProgressLine progress(samples.size(), "images");
    std::vector<Verdict> verdicts(samples.size());
    std::atomic<size_t> next{0};
    MemoryBudget budget(static_cast<size_t>(opts.memoryMiB) << 20);
    auto worker = [&] {
        for (size_t i = next++; i < samples.size(); i = next++) {
            Verdict& v = verdicts[i];
            const bool several = !samples[i].lines.empty();
            if (samples[i].error.empty()) {
                const size_t taken = budget.take(peakBytes(samples[i].image));
                const auto most = several ? std::optional(kDefaultMostSymbols) : std::nullopt;
                if (opts.html.empty()) {
                    v.outcome = decodeImageFile(samples[i].image.string(), most);
                } else {
                    // Only the thumbnail is kept of the image, within the image's budget.
                    std::optional<RgbImage> image;
                    v.outcome = decodeImageFile(samples[i].image.string(), most, image);
                    if (image)
                        v.thumbnail = makeThumbnail(*image);
                }
                budget.give(taken);
            }
            if (several)
                judgeSeveral(samples[i], v);
            else
                v.match =
                    v.outcome.result.decoded && matches(v.outcome.result, samples[i].expected);
            progress.advance();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t)
        threads.emplace_back(worker);
    for (auto& t : threads)
        t.join();
    progress.clear();

    HtmlReport report;
    report.title = "dmcodec eval " + opts.dir;
    report.passedWord = "matched";
    report.timeNote = "the decoding thread's CPU time";
    report.expected = true;
    if (!opts.html.empty()) {
        for (size_t i = 0; i < samples.size(); ++i)
            report.rows.push_back(reportRow(samples[i], verdicts[i]));
    }

    int decoded = 0;
    int unread = 0;
    int extra = 0;
    int withExtra = 0;
    std::map<int, int> statusCounts;
    std::vector<double> times;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Verdict& v = verdicts[i];
        const std::string name = samples[i].image.filename().string();
        const std::string& error = samples[i].error.empty() ? v.outcome.error : samples[i].error;
        if (!error.empty()) {
            std::cout << "FAIL " << name << ": " << error << '\n';
            ++unread;
            continue;
        }
        times.push_back(v.outcome.cpuMilliseconds);
        ++statusCounts[toInt(v.outcome.result.status)];
        extra += v.extra;
        withExtra += v.extra > 0;
        if (v.match) {
            ++decoded;
        } else if (!samples[i].lines.empty()) {
            std::cout << "FAIL " << name << ": " << samples[i].lines.size() - v.missing.size()
                      << " of " << samples[i].lines.size() << " symbols read; not read:";
            for (const std::string& line : v.missing)
                std::cout << ' ' << jsonString(line);
            if (!v.outcome.result.decoded)
                std::cout << " (status " << toInt(v.outcome.result.status) << ": "
                          << statusMeaning(v.outcome.result.status) << ')';
            std::cout << '\n';
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
    if (extra > 0)
        std::cout << "  symbols beyond those expected: " << extra << " (in " << withExtra
                  << (withExtra == 1 ? " picture" : " pictures") << ")\n";
    if (unread > 0)
        std::cout << "  not run:   " << std::setw(4) << unread
                  << "  (file or text unreadable, image refused, too small or blank)\n";
    std::ostringstream medianLine;
    medianLine << "median " << std::setprecision(3) << std::fixed << median
               << " ms per image (the decoding thread's CPU time)";
    std::cout << medianLine.str() << '\n';
    if (!opts.html.empty()) {
        report.notes.push_back(medianLine.str());
        if (extra > 0)
            report.notes.push_back("symbols beyond those expected: " + std::to_string(extra));
        const std::string page = htmlReport(std::move(report));
        const std::error_code error = writeFileAtomically(
            opts.html, {reinterpret_cast<const uint8_t*>(page.data()), page.size()});
        if (error) {
            std::cout.flush();
            fail("cannot write the report '" + opts.html + "': " +
                 (error == std::errc::no_such_file_or_directory ? std::string("no such folder")
                                                                : errorText(error.value())));
        }
    }
    std::cout.flush();
    if (decoded != static_cast<int>(samples.size()))
        throw CLI::RuntimeError(1);
}

}  // namespace

void addEvalCommand(CLI::App& app) {
    auto options = std::make_shared<EvalOptions>();
    CLI::App* cmd = app.add_subcommand(
        "eval",
        "Decode every image in a folder that has NAME.txt beside it and compare the text. A "
        "NAME.txt of several lines names a picture of several symbols, one message a line: "
        "every symbol is read and each line must be matched by one (or the whole text by one "
        "symbol); symbols beyond the lines are counted. "
        "Prints one line per failure (including files and texts that cannot be read) and a "
        "summary; the median time per image is the decoding thread's CPU time, which threads "
        "sharing the cores do not inflate. Exit status 0 only when all match, 1 otherwise, 2 for "
        "a usage error.\n" +
            decodingLimits());
    cmd->add_option("dir", options->dir, "Folder of images")->required();
    cmd->add_option("-j,--jobs", options->jobs,
                    "Decoding threads, 1 or more (default: one per core)");
    cmd->add_option("--memory", options->memoryMiB,
                    "Memory in MiB the decoding threads share: each takes its image's peak "
                    "(about 8 bytes a pixel, from the file's header) before decoding, so more "
                    "jobs never mean more than this; an image larger than all of it is decoded "
                    "alone")
        ->capture_default_str();
    cmd->add_option("--html", options->html,
                    "Also write the results as one HTML page to look through: a summary, and "
                    "per picture a thumbnail with the located outline, expected and decoded "
                    "text, status, time; failures first, a filter by status (open it as "
                    "REPORT.html#status=failed to see only the failures). Self-contained (the "
                    "pictures inside), written whole or not at all")
        ->type_name("REPORT.html");
    cmd->callback([cmd, options] {
        if (cmd->count("--html") > 0) {
            if (const std::string why = htmlNameError(options->html); !why.empty())
                fail(why, 2);
        }
        if (cmd->count("--jobs") > 0 && options->jobs < 1)
            fail("--jobs must be 1 or more, not " + std::to_string(options->jobs), 2);
        if (options->memoryMiB < 64)
            fail("--memory must be 64 MiB or more, not " + std::to_string(options->memoryMiB), 2);
        run(*options);
    });
}

}  // namespace dm::tool
