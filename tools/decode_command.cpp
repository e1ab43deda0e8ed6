#include <cmath>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "decoder/gs1_element_strings.h"
#include "decoder/structured_append.h"
#include "platform/gbk_text.h"
#include "platform/image_decoding.h"
#include "platform/message_text.h"
#include "tools/commands.h"
#include "tools/progress_line.h"
#include "tools/result_text.h"

namespace dm::tool {
namespace {

struct DecodeOptions {
    std::vector<std::string> files;
    bool raw = false;
    bool json = false;
    bool all = false;
    int32_t most = kDefaultMostSymbols;
    int32_t threads = 1;
    bool frame = false;
};

using Json = nlohmann::ordered_json;

// What a decoded message is beside its text; null where not decoded.
void addMessage(Json& j, const DecodeResult& r) {
    for (const char* key : {"symbologyIdentifier", "eci", "gs1", "gs1Text", "macro",
                            "readerProgramming", "mirrored", "inverted", "structuredAppend"}) {
        j[key] = nullptr;
    }
    if (!r.decoded)
        return;
    j["symbologyIdentifier"] = r.symbologyIdentifier;
    j["eci"] = Json::array();
    for (const EciSegment& s : r.eciSegments) {
        const auto set = eciCharacterSet(s.eci);
        j["eci"].push_back({{"eci", s.eci},
                            {"begin", s.begin},
                            {"characterSet", set ? Json(std::string(*set)) : Json(nullptr)}});
    }
    j["gs1"] = r.gs1;
    if (const auto elements = r.gs1 ? gs1ElementStrings(r.text) : std::nullopt)
        j["gs1Text"] = *elements;
    if (r.macro != 0)
        j["macro"] = r.macro;
    j["readerProgramming"] = r.readerProgramming;
    j["mirrored"] = r.mirrored;
    j["inverted"] = r.inverted;
    if (r.appendPosition != 0) {
        j["structuredAppend"] = {{"position", r.appendPosition},
                                 {"total", r.appendTotal},
                                 {"fileId", {r.fileId1, r.fileId2}}};
    }
}

void printLine(const Json& j) {
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

// The file's name; one that is not UTF-8 shows with U+FFFD in "file", its bytes stay
// recoverable in "fileBytes".
void addFile(Json& j, const std::string& file) {
    j["file"] = file;
    if (invalidUtf8Offset(file))
        j["fileBytes"] = hexBytes(file);
}

// One line of JSON per file, or with every symbol asked for per symbol (index from 1, corners
// in the file's pixels). "text" is always valid UTF-8 (bytes that are not become U+FFFD);
// "bytes" holds the decoded bytes exactly, in hex.
void printJson(const std::string& file, const FileOutcome& o, const DecodeResult& r, bool raw,
               std::optional<size_t> index) {
    Json j;
    addFile(j, file);
    if (index) {
        j["index"] = *index + 1;
        j["corners"] = Json::array();
        if (r.corners) {
            for (const ImagePoint& p : *r.corners)
                j["corners"].push_back({std::round(p.x * 100) / 100, std::round(p.y * 100) / 100});
        }
    }
    j["ok"] = r.decoded;
    const bool ran = o.error.empty();
    j["status"] = ran ? Json(toInt(r.status)) : Json(nullptr);
    j["meaning"] = ran ? std::string(statusMeaning(r.status)) : o.error;
    j["symbol"] = nullptr;
    j["text"] = nullptr;
    j["bytes"] = nullptr;
    if (r.decoded) {
        j["symbol"] = sizeName(r.sizeIndex);
        j["text"] = raw ? r.text : displayText(r);
        j["bytes"] = hexBytes(r.text);
    }
    addMessage(j, r);
    j["milliseconds"] = ran ? Json(std::round(o.milliseconds * 1000) / 1000) : Json(nullptr);
    printLine(j);
}

// "7.9" for a series' file identification.
std::string seriesName(const AppendSeries& s) {
    return std::to_string(s.fileId1) + "." + std::to_string(s.fileId2);
}

std::string positionList(const std::vector<uint8_t>& positions) {
    std::string list;
    for (const uint8_t p : positions)
        list += (list.empty() ? "" : ", ") + std::to_string(p);
    return list;
}

// Each Structured Append series among the symbols read: joined, or what it lacks. False when
// some series is not whole.
bool reportSeries(const std::vector<std::pair<std::string, DecodeResult>>& read, bool json,
                  bool raw) {
    std::vector<DecodeResult> symbols;
    for (const auto& [file, r] : read)
        symbols.push_back(r);
    bool whole = true;
    for (const AppendSeries& s : joinStructuredAppend(symbols)) {
        whole = whole && s.joined();
        if (json) {
            Json j;
            j["series"] = {s.fileId1, s.fileId2};
            j["total"] = s.total;
            j["joined"] = s.joined();
            j["missing"] = s.missing;
            j["conflicting"] = s.conflicting;
            j["members"] = Json::array();
            for (const int32_t m : s.members) {
                if (m < 0) {
                    j["members"].push_back(nullptr);
                    continue;
                }
                Json member;
                addFile(member, read[static_cast<size_t>(m)].first);
                j["members"].push_back(member);
            }
            j["text"] = nullptr;
            j["bytes"] = nullptr;
            if (s.joined()) {
                // The joined message is displayed as its first symbol's character sets say.
                DecodeResult joined = symbols[static_cast<size_t>(s.members.front())];
                joined.text = s.text;
                j["text"] = raw ? s.text : displayText(joined);
                j["bytes"] = hexBytes(s.text);
            }
            printLine(j);
            continue;
        }
        std::cout << "series " << seriesName(s) << " of " << int{s.total} << ": ";
        if (s.joined()) {
            DecodeResult joined = symbols[static_cast<size_t>(s.members.front())];
            joined.text = s.text;
            std::cout << displayText(joined) << '\n';
            continue;
        }
        if (!s.missing.empty())
            std::cout << "not joined, positions missing: " << positionList(s.missing);
        if (!s.conflicting.empty()) {
            std::cout << (s.missing.empty() ? "not joined, " : "; ")
                      << "two different symbols at positions: " << positionList(s.conflicting);
        }
        std::cout << '\n';
    }
    return whole;
}

void run(const DecodeOptions& opts) {
    if (opts.raw && !opts.json && (opts.files.size() > 1 || opts.all)) {
        std::cerr << "decode: --raw writes the bytes of one symbol exactly, with nothing between "
                     "symbols; give one file without --all, or add --json\n";
        throw CLI::RuntimeError(2);
    }
    int failures = 0;
    const bool several = opts.files.size() > 1;
    std::vector<std::pair<std::string, DecodeResult>> read;  // every symbol, with its file
    // Several files on a terminal: a progress line below the results.
    ProgressLine progress(opts.files.size(), "files", several);
    for (const auto& file : opts.files) {
        const FileOutcome o = decodeImageFile(
            file, opts.all ? std::optional(opts.most) : std::nullopt, opts.threads, opts.frame);
        const ProgressStep step(progress);
        failures += !o.result.decoded;
        if (opts.all && !o.symbols.empty()) {
            for (size_t i = 0; i < o.symbols.size(); ++i) {
                const DecodeResult& r = o.symbols[i];
                read.emplace_back(file, r);
                if (opts.json) {
                    printJson(file, o, r, opts.raw, i);
                    continue;
                }
                if (several)
                    std::cout << file << ": ";
                std::cout << '#' << i + 1 << ": " << displayText(r) << '\n';
            }
            continue;
        }
        if (opts.json) {
            printJson(file, o, o.result, opts.raw,
                      opts.all ? std::optional<size_t>(0) : std::nullopt);
            continue;
        }
        if (!o.error.empty()) {
            std::cerr << file << ": " << o.error << '\n';
        } else if (!o.result.decoded) {
            std::cerr << file << ": not decoded (status " << toInt(o.result.status) << ": "
                      << statusMeaning(o.result.status) << ")\n";
        } else if (opts.raw) {
            std::cout.write(o.result.text.data(),
                            static_cast<std::streamsize>(o.result.text.size()));
        } else {
            if (several)
                std::cout << file << ": ";
            std::cout << displayText(o.result) << '\n';
        }
    }
    progress.clear();
    const bool whole = !opts.all || reportSeries(read, opts.json, opts.raw);
    std::cout.flush();
    if (failures > 0 || !whole)
        throw CLI::RuntimeError(1);
}

}  // namespace

void addDecodeCommand(CLI::App& app) {
    auto options = std::make_shared<DecodeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "decode",
        "Decode Data Matrix symbols from JPEG, PNG or BMP files as the camera half of the "
        "window decodes frames of a still picture: camera-sized images as they are first, small "
        "images and fine modules enlarged, images cropped close to the symbol framed in light. "
        "Prints the text as UTF-8 (from the character sets the symbol's ECIs name, GBK where "
        "none is in force). Exit status 0 only when every file decoded, 1 otherwise, 2 for a "
        "usage error.\n" +
            decodingLimits());
    cmd->add_option("files", options->files, "Image files")->required();
    cmd->add_flag("--all", options->all,
                  "Every symbol in each picture, in reading order (rows top to bottom, each left "
                  "to right), one line each: \"#N: text\" (with the file before it for several "
                  "files); then each Structured Append series among all the symbols read: "
                  "\"series ID1.ID2 of N: \" and the joined message, or the positions missing "
                  "or read with two different symbols. Exit status 1 also when a series is not "
                  "whole");
    cmd->add_option("--most", options->most,
                    "With --all: read at most this many symbols per picture")
        ->check(CLI::Range(1, 1000))
        ->default_val(kDefaultMostSymbols);
    cmd->add_option("--threads", options->threads,
                    "Threads to read each picture with (1-64): a picture that does not read as it "
                    "is has its enlarged and framed pictures read side by side; with --frame, a "
                    "picture larger than 1280 x 720 has its steps run side by side and its search "
                    "split into tiles. The result is the same whatever the count (above one, with "
                    "--frame)")
        ->check(CLI::Range(1, 64))
        ->default_val(1);
    cmd->add_flag("--frame", options->frame,
                  "Read each picture as one camera frame, as the window's camera reads it (one "
                  "threshold variant, no enlarged pictures): the time a frame takes");
    cmd->add_flag("--raw", options->raw,
                  "Write the decoded bytes exactly as the symbol holds them, nothing added (one "
                  "file); with --json, put them in \"text\" unconverted");
    cmd->add_flag(
        "--json", options->json,
        "One JSON object per line and file: file (and fileBytes, its bytes in hex, "
        "when the name is not UTF-8), ok, status, meaning, symbol (rows x "
        "columns), text (UTF-8), bytes (the decoded bytes in hex), symbologyIdentifier, "
        "eci, gs1, gs1Text, macro, readerProgramming, mirrored, inverted, structuredAppend, "
        "milliseconds. With --all one object per symbol, with index (from 1) and corners "
        "(top left, top right, bottom right, bottom left as [x, y] in the file's pixels) "
        "after file; then one object per series: series ([ID1, ID2]), total, joined, "
        "missing, conflicting, members (the file of each position, null where missing), "
        "text, bytes");
    cmd->callback([options] { run(*options); });
}

}  // namespace dm::tool
