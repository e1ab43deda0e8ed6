#include <cmath>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "decoder/gs1_element_strings.h"
#include "platform/gbk_text.h"
#include "platform/image_decoding.h"
#include "platform/message_text.h"
#include "tools/commands.h"
#include "tools/result_text.h"

namespace dm::tool {
namespace {

struct DecodeOptions {
    std::vector<std::string> files;
    bool raw = false;
    bool json = false;
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

// One line of JSON per file. "text" is always valid UTF-8 (bytes that are not become U+FFFD);
// "bytes" holds the decoded bytes exactly, in hex.
void printJson(const std::string& file, const FileOutcome& o, bool raw) {
    Json j;
    j["file"] = file;
    // A name that is not UTF-8 shows with U+FFFD in "file"; its bytes stay recoverable.
    if (invalidUtf8Offset(file))
        j["fileBytes"] = hexBytes(file);
    j["ok"] = o.result.decoded;
    const bool ran = o.error.empty();
    j["status"] = ran ? Json(toInt(o.result.status)) : Json(nullptr);
    j["meaning"] = ran ? std::string(statusMeaning(o.result.status)) : o.error;
    j["symbol"] = nullptr;
    j["text"] = nullptr;
    j["bytes"] = nullptr;
    if (o.result.decoded) {
        j["symbol"] = sizeName(o.result.sizeIndex);
        j["text"] = raw ? o.result.text : displayText(o.result);
        j["bytes"] = hexBytes(o.result.text);
    }
    addMessage(j, o.result);
    j["milliseconds"] = ran ? Json(std::round(o.milliseconds * 1000) / 1000) : Json(nullptr);
    std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void run(const DecodeOptions& opts) {
    if (opts.raw && !opts.json && opts.files.size() > 1) {
        std::cerr << "decode: --raw writes the bytes of one symbol exactly, with nothing between "
                     "symbols; give one file, or add --json for several\n";
        throw CLI::RuntimeError(2);
    }
    int failures = 0;
    const bool several = opts.files.size() > 1;
    for (const auto& file : opts.files) {
        const FileOutcome o = decodeImageFile(file);
        failures += !o.result.decoded;
        if (opts.json) {
            printJson(file, o, opts.raw);
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
    std::cout.flush();
    if (failures > 0)
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
    cmd->add_flag("--raw", options->raw,
                  "Write the decoded bytes exactly as the symbol holds them, nothing added (one "
                  "file); with --json, put them in \"text\" unconverted");
    cmd->add_flag("--json", options->json,
                  "One JSON object per line and file: file (and fileBytes, its bytes in hex, "
                  "when the name is not UTF-8), ok, status, meaning, symbol (rows x "
                  "columns), text (UTF-8), bytes (the decoded bytes in hex), symbologyIdentifier, "
                  "eci, gs1, gs1Text, macro, readerProgramming, mirrored, inverted, structuredAppend, "
                  "milliseconds");
    cmd->callback([options] { run(*options); });
}

}  // namespace dm::tool
