#include <iostream>
#include <memory>

#include "tools/commands.h"
#include "tools/file_decoding.h"

namespace dm::tool {
namespace {

struct DecodeOptions {
    std::vector<std::string> files;
    bool raw = false;
    bool json = false;
};

void printJson(const std::string& file, const FileOutcome& o, bool raw) {
    std::cout << "{\"file\":" << jsonString(file)
              << ",\"ok\":" << (o.result.decoded ? "true" : "false");
    if (!o.loaded) {
        std::cout << ",\"status\":null,\"meaning\":"
                  << jsonString("cannot read image: " + o.loadError)
                  << ",\"symbol\":null,\"text\":null,\"milliseconds\":null}\n";
        return;
    }
    std::cout << ",\"status\":" << toInt(o.result.status)
              << ",\"meaning\":" << jsonString(std::string(statusMeaning(o.result.status)));
    const std::string size = sizeName(o.result.decoded ? o.result.sizeIndex : -1);
    std::cout << ",\"symbol\":" << (size.empty() ? "null" : jsonString(size));
    if (o.result.decoded) {
        std::cout << ",\"text\":" << jsonString(raw ? o.result.text : displayText(o.result.text));
    } else {
        std::cout << ",\"text\":null";
    }
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
            std::cout << (opts.raw ? o.result.text : displayText(o.result.text)) << '\n';
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
        "enlarged. Prints the text (GBK shown as UTF-8). Exit status 0 only when every file "
        "decoded.");
    cmd->add_option("files", options->files, "Image files")->required();
    cmd->add_flag("--raw", options->raw, "Print the decoded bytes as they are");
    cmd->add_flag(
        "--json", options->json,
        "One JSON object per file: file, ok, status, meaning, symbol, text, milliseconds");
    cmd->callback([options] { run(*options); });
}

}  // namespace dm::tool
