#include <iostream>
#include <memory>

#include "decoder/gs1_element_strings.h"
#include "platform/message_text.h"
#include "tools/commands.h"
#include "tools/file_decoding.h"

namespace dm::tool {
namespace {

struct DecodeOptions {
    std::vector<std::string> files;
    bool raw = false;
    bool json = false;
};

// What a decoded message is beside its text, as JSON members; null where not decoded.
std::string messageJson(const DecodeResult& r) {
    if (!r.decoded) {
        return ",\"symbologyIdentifier\":null,\"eci\":null,\"gs1\":null,\"gs1Text\":null,"
               "\"macro\":null,\"readerProgramming\":null,\"mirrored\":null,"
               "\"structuredAppend\":null";
    }
    std::string out =
        ",\"symbologyIdentifier\":" + jsonString(r.symbologyIdentifier) + ",\"eci\":[";
    for (size_t i = 0; i < r.eciSegments.size(); ++i) {
        const EciSegment& s = r.eciSegments[i];
        const auto set = eciCharacterSet(s.eci);
        out += (i > 0 ? ",{\"eci\":" : "{\"eci\":") + std::to_string(s.eci) +
               ",\"begin\":" + std::to_string(s.begin) +
               ",\"characterSet\":" + (set ? jsonString(std::string(*set)) : "null") + "}";
    }
    out += std::string("],\"gs1\":") + (r.gs1 ? "true" : "false") + ",\"gs1Text\":";
    const auto elements = r.gs1 ? gs1ElementStrings(r.text) : std::nullopt;
    out += elements ? jsonString(*elements) : "null";
    out += ",\"macro\":" + (r.macro != 0 ? std::to_string(r.macro) : std::string("null"));
    out += std::string(",\"readerProgramming\":") + (r.readerProgramming ? "true" : "false");
    out += std::string(",\"mirrored\":") + (r.mirrored ? "true" : "false");
    out += ",\"structuredAppend\":";
    if (r.appendPosition == 0) {
        out += "null";
    } else {
        out += "{\"position\":" + std::to_string(r.appendPosition) +
               ",\"total\":" + std::to_string(r.appendTotal) + ",\"fileId\":[" +
               std::to_string(r.fileId1) + "," + std::to_string(r.fileId2) + "]}";
    }
    return out;
}

void printJson(const std::string& file, const FileOutcome& o, bool raw) {
    std::cout << "{\"file\":" << jsonString(file)
              << ",\"ok\":" << (o.result.decoded ? "true" : "false");
    if (!o.loaded) {
        std::cout << ",\"status\":null,\"meaning\":"
                  << jsonString("cannot read image: " + o.loadError)
                  << ",\"symbol\":null,\"text\":null" << messageJson(o.result)
                  << ",\"milliseconds\":null}\n";
        return;
    }
    std::cout << ",\"status\":" << toInt(o.result.status)
              << ",\"meaning\":" << jsonString(std::string(statusMeaning(o.result.status)));
    const std::string size = sizeName(o.result.decoded ? o.result.sizeIndex : -1);
    std::cout << ",\"symbol\":" << (size.empty() ? "null" : jsonString(size));
    if (o.result.decoded) {
        std::cout << ",\"text\":" << jsonString(raw ? o.result.text : displayText(o.result));
    } else {
        std::cout << ",\"text\":null";
    }
    std::cout << messageJson(o.result);
    std::cout << ",\"milliseconds\":" << o.milliseconds << "}\n";
}

void run(const DecodeOptions& opts) {
    int failures = 0;
    const bool several = opts.files.size() > 1;
    for (const auto& file : opts.files) {
        const FileOutcome o = decodeImageFile(file);
        failures += !o.result.decoded;
        if (opts.json) {
            printJson(file, o, opts.raw);
            continue;
        }
        if (!o.loaded) {
            std::cerr << file << ": cannot read image: " << o.loadError << '\n';
        } else if (!o.result.decoded) {
            std::cerr << file << ": not decoded (status " << toInt(o.result.status) << ": "
                      << statusMeaning(o.result.status) << ")\n";
        } else {
            if (several)
                std::cout << file << ": ";
            std::cout << (opts.raw ? o.result.text : displayText(o.result)) << '\n';
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
        "window decodes frames of a still picture; small images and fine modules are "
        "enlarged. Prints the text as UTF-8 (from the character sets the symbol's ECIs name, "
        "GBK where none is in force). Exit status 0 only when every file decoded.");
    cmd->add_option("files", options->files, "Image files")->required();
    cmd->add_flag("--raw", options->raw, "Print the decoded bytes as they are");
    cmd->add_flag("--json", options->json,
                  "One JSON object per file: file, ok, status, meaning, symbol, text, "
                  "symbologyIdentifier, eci, gs1, gs1Text, macro, readerProgramming, mirrored, "
                  "structuredAppend, milliseconds");
    cmd->callback([options] { run(*options); });
}

}  // namespace dm::tool
