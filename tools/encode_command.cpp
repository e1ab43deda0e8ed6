#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "encoder/symbol_renderer.h"
#include "platform/gbk_text.h"
#include "symbology/symbol_size.h"
#include "tools/commands.h"

namespace dm::tool {
namespace {

struct EncodeOptions {
    std::string text;
    bool textGiven = false;
    std::string file;
    bool raw = false;
    int moduleSize = 4;
    int quietZone = 3;
    std::string output = "条码测试.jpg";
    bool codewords = false;
};

[[noreturn]] void fail(const std::string& message, int code = 1) {
    std::cerr << "encode: " << message << '\n';
    throw CLI::RuntimeError(code);
}

std::string readAll(std::istream& in) {
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string inputText(const EncodeOptions& o) {
    if (o.textGiven && !o.file.empty())
        fail("give the text either as an argument or with --file, not both", 2);
    if (o.textGiven)
        return o.text;
    if (!o.file.empty()) {
        std::ifstream in(o.file, std::ios::binary);
        if (!in)
            fail("cannot read '" + o.file + "'");
        return readAll(in);
    }
    return readAll(std::cin);
}

void run(const EncodeOptions& o) {
    if (!validRenderParameters(o.moduleSize, kMinQuietZone)) {
        fail("module size must be " + std::to_string(kMinModuleSize) + " to " +
                 std::to_string(kMaxModuleSize) + " pixels, not " + std::to_string(o.moduleSize),
             2);
    }
    if (!validRenderParameters(kMinModuleSize, o.quietZone)) {
        fail("quiet zone must be " + std::to_string(kMinQuietZone) + " to " +
                 std::to_string(kMaxQuietZone) + " modules, not " + std::to_string(o.quietZone),
             2);
    }
    std::string bytes = inputText(o);
    if (!o.raw) {
        std::string bad;
        auto gbk = utf8ToGbk(bytes, &bad);
        if (!gbk) {
            std::ostringstream msg;
            msg << "the text cannot be written in code page 936 (GBK): first offending character '"
                << bad << "' (bytes";
            for (unsigned char c : bad)
                msg << ' ' << std::hex << std::uppercase << int(c);
            msg << "); use --raw to encode the bytes as they are";
            fail(msg.str());
        }
        bytes = std::move(*gbk);
    }
    if (bytes.empty())
        fail("the text is empty; nothing to encode");
    const std::span<const uint8_t> message(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           bytes.size());
    if (bytes.size() > static_cast<size_t>(kMessageCapacity)) {
        fail("the text is " + std::to_string(bytes.size()) + " bytes; at most " +
             std::to_string(kMessageCapacity) + " bytes can be encoded");
    }
    const int needed = asciiCodewordCount(message);
    if (needed > kMaxDataCodewords) {
        fail("the text needs " + std::to_string(needed) +
             " codewords; 1,558 is the most a 144x144 symbol holds");
    }
    const auto symbol = EncodeMessage(message);
    if (!symbol)
        fail("the encoder rejected the text");
    if (o.codewords) {
        for (size_t i = 0; i < symbol->codewords.size(); ++i) {
            std::cout << (i ? " " : "") << int(symbol->codewords[i]);
        }
        std::cout << '\n';
    }
    const int side = GenerateSymbolFile(message, o.output, o.moduleSize, o.quietZone);
    if (side < 0)
        fail("cannot write '" + o.output + "' (does the folder exist and is it writable?)");
    std::cout << side << 'x' << side << " symbol written to " << o.output << '\n';
}

}  // namespace

void addEncodeCommand(CLI::App& app) {
    auto options = std::make_shared<EncodeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "encode",
        "Encode text into a Data Matrix symbol and write it as a JPEG file. The text "
        "comes from the argument, --file or standard input, and is converted from "
        "UTF-8 to code page 936 (GBK) unless --raw is given.");
    cmd->add_option("text", options->text, "Text to encode");
    cmd->add_option("--file", options->file, "Read the text from this file");
    cmd->add_flag("--raw", options->raw, "Encode the input bytes as they are (no GBK conversion)");
    cmd->add_option("--module", options->moduleSize, "Pixels per module (1-20)")
        ->capture_default_str();
    cmd->add_option("--quiet", options->quietZone, "Quiet zone in modules on each side (0-20)")
        ->capture_default_str();
    cmd->add_option("-o,--output", options->output, "JPEG file to write")->capture_default_str();
    cmd->add_flag("--codewords", options->codewords,
                  "Print the codeword stream (data, then error correction) in decimal");
    cmd->callback([cmd, options] {
        options->textGiven = cmd->count("text") > 0;
        run(*options);
    });
}

}  // namespace dm::tool
