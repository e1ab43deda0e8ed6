#include <unistd.h>

#include <cerrno>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "encoder/symbol_renderer.h"
#include "platform/file_reading.h"
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

// Input is read no further than the longest that could be encoded: 3,116 bytes, each of which
// may take three bytes in UTF-8 (the euro sign is one byte in GBK), after a byte-order mark.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kMaxTextBytes = 3 * kMessageCapacity + kByteOrderMark.size();

size_t inputLimit(const EncodeOptions& o) {
    return o.raw ? kMessageCapacity : kMaxTextBytes;
}

[[noreturn]] void failTooLong(size_t limit) {
    fail("the text is longer than " + std::to_string(limit) + " bytes; at most " +
         std::to_string(kMessageCapacity) + " bytes can be encoded");
}

std::string inputText(const EncodeOptions& o) {
    if (o.textGiven && !o.file.empty())
        fail("give the text either as an argument or with --file, not both", 2);
    if (o.textGiven)
        return o.text;
    const bool fromFile = !o.file.empty();
    FileContents in = fromFile ? readRegularFile(o.file, inputLimit(o))
                               : readDescriptor(STDIN_FILENO, inputLimit(o));
    if (in.tooLarge)
        failTooLong(inputLimit(o));
    if (!in.ok())
        fail("cannot read " + (fromFile ? "'" + o.file + "'" : "standard input") + ": " + in.error);
    return std::move(in.bytes);
}

// UTF-8 text to GBK: a leading byte-order mark is dropped; text that is not UTF-8 or holds a
// character GBK has not is refused, naming where.
std::string gbkBytes(std::string_view text) {
    const size_t skipped = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    text.remove_prefix(skipped);
    if (const auto offset = invalidUtf8Offset(text)) {
        std::ostringstream msg;
        msg << "the text is not valid UTF-8: byte " << std::hex << std::uppercase
            << std::setfill('0') << std::setw(2) << int(static_cast<unsigned char>(text[*offset]))
            << std::dec << " at offset " << *offset + skipped
            << " does not start a well-formed character; use --raw to encode the bytes as they "
               "are";
        fail(msg.str());
    }
    std::string bad;
    auto gbk = utf8ToGbk(text, &bad);
    if (!gbk) {
        std::ostringstream msg;
        msg << "the text cannot be written in code page 936 (GBK): first offending character '"
            << bad << "' (bytes";
        for (unsigned char c : bad)
            msg << ' ' << std::hex << std::uppercase << int(c);
        msg << "); use --raw to encode the bytes as they are";
        fail(msg.str());
    }
    return std::move(*gbk);
}

// "cannot write 'PATH': why", the reason from the system's error code.
std::string writeError(const std::string& path, std::error_code error) {
    const std::string why =
        error == std::errc::no_such_file_or_directory ? "no such folder" : errorText(error.value());
    return "cannot write '" + path + "': " + why;
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
    if (!o.raw)
        bytes = gbkBytes(bytes);
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
    const auto rendered = RenderSymbol(message, o.moduleSize, o.quietZone);
    if (!rendered)
        fail("the encoder rejected the text");
    if (o.codewords) {
        const auto symbol = EncodeMessage(message);
        for (size_t i = 0; i < symbol->codewords.size(); ++i) {
            std::cout << (i ? " " : "") << int(symbol->codewords[i]);
        }
        std::cout << '\n';
    }
    if (o.output.empty())
        fail("the output file name is empty", 2);
    if (const std::error_code error = SaveJpeg(rendered->image, o.output))
        fail(writeError(o.output, error));
    std::cout << rendered->side << 'x' << rendered->side << " symbol written to " << o.output
              << '\n';
}

}  // namespace

void addEncodeCommand(CLI::App& app) {
    auto options = std::make_shared<EncodeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "encode",
        "Encode text into a Data Matrix symbol and write it as a JPEG file. The text comes from "
        "the argument, --file or standard input, and is converted from UTF-8 to code page 936 "
        "(GBK) unless --raw is given; a leading UTF-8 byte-order mark is dropped. A file or "
        "standard input is encoded byte for byte, a final newline included (printf, not echo, "
        "leaves it out). At most " +
            std::to_string(kMessageCapacity) +
            " bytes (after conversion) fit a symbol; input is read no further than " +
            std::to_string(kMaxTextBytes) + " bytes (" + std::to_string(kMessageCapacity) +
            " with --raw) and refused as too long beyond. Exit status 0 when written, 1 on "
            "failure, 2 for a usage error.");
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
