#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "encoder/symbol_encoder.h"
#include "encoder/symbol_files.h"
#include "encoder/symbol_renderer.h"
#include "platform/file_reading.h"
#include "platform/gbk_text.h"
#include "platform/message_text.h"
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
    std::string scheme = "auto";
    std::string shape = "square";
    bool dmre = false;
    bool gs1 = false;
    std::string macro;
    int eci = -1;
    int structuredAppend = 0;
    bool readerProgramming = false;
};

constexpr std::array<std::string_view, 7> kSchemeNames{"auto", "ascii",   "c40",    "text",
                                                       "x12",  "edifact", "base256"};
constexpr std::array<std::string_view, 3> kShapeNames{"square", "rect", "any"};

template <size_t N>
size_t indexOf(const std::array<std::string_view, N>& names, const std::string& name) {
    return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

// ECI 899 marks binary data: its bytes are taken as they are.
constexpr int kBinaryEci = 899;

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

// UTF-8 text to GBK, or with an ECI to the character set it names: a leading byte-order mark
// is dropped; text that is not UTF-8 or holds a character the set has not is refused, naming
// where.
std::string textBytes(std::string_view text, int eci) {
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
    std::string set = "code page 936 (GBK)";
    std::string_view iconvName = "GBK";
    if (eci >= 0) {
        const auto eciSet = eciCharacterSet(eci);
        if (!eciSet) {
            fail("ECI " + std::to_string(eci) +
                 " names no character set known here; use --raw to encode the bytes as they are");
        }
        iconvName = *eciSet;
        set = std::string(iconvName) + " (ECI " + std::to_string(eci) + ")";
    }
    std::string bad;
    auto converted = fromUtf8(text, std::string(iconvName).c_str(), &bad);
    if (!converted) {
        std::ostringstream msg;
        msg << "the text cannot be written in " << set << ": first offending character '" << bad
            << "' (bytes";
        for (unsigned char c : bad)
            msg << ' ' << std::hex << std::uppercase << int(c);
        msg << "); use --raw to encode the bytes as they are";
        fail(msg.str());
    }
    return std::move(*converted);
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
    if (o.output.empty())
        fail("the output file name is empty", 2);
    std::string bytes = inputText(o);
    if (!o.raw && o.eci != kBinaryEci)
        bytes = textBytes(bytes, o.eci);
    if (bytes.empty())
        fail("the text is empty; nothing to encode");
    const std::span<const uint8_t> message(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           bytes.size());
    if (bytes.size() > static_cast<size_t>(kMessageCapacity)) {
        fail("the text is " + std::to_string(bytes.size()) + " bytes; at most " +
             std::to_string(kMessageCapacity) + " bytes can be encoded");
    }
    SymbolOptions options;
    options.scheme = static_cast<Scheme>(indexOf(kSchemeNames, o.scheme));
    options.shape = static_cast<Shape>(indexOf(kShapeNames, o.shape));
    options.dmre = o.dmre;
    options.gs1 = o.gs1;
    options.macro = o.macro.empty() ? 0 : std::stoi(o.macro);
    options.eci = o.eci;
    options.structuredAppend = o.structuredAppend;
    options.readerProgramming = o.readerProgramming;
    if (options.scheme == Scheme::Ascii) {
        const int needed = asciiCodewordCount(message);
        if (needed > kMaxDataCodewords) {
            fail("the text needs " + std::to_string(needed) +
                 " codewords; 1,558 is the most a 144x144 symbol holds");
        }
    }
    const SymbolSeries series = encodeSymbols(message, options);
    if (series.symbols.empty())
        fail(series.error);
    // A series goes to one file per symbol: NAME-1.EXT, NAME-2.EXT, ..., or NAME-1, ... when
    // the file name has no extension (a dot in a folder name is not one).
    const size_t lastDot = o.output.find_last_of('.');
    const size_t lastSlash = o.output.find_last_of('/');
    const size_t dot =
        lastDot == std::string::npos || (lastSlash != std::string::npos && lastDot < lastSlash)
            ? o.output.size()
            : lastDot;
    for (size_t k = 0; k < series.symbols.size(); ++k) {
        const EncodedSymbol& symbol = series.symbols[k];
        if (o.codewords) {
            for (size_t i = 0; i < symbol.codewords.size(); ++i)
                std::cout << (i ? " " : "") << int(symbol.codewords[i]);
            std::cout << '\n';
        }
        std::string path = o.output;
        if (series.symbols.size() > 1) {
            path = o.output.substr(0, dot);
            path += '-';
            path += std::to_string(k + 1);
            path += o.output.substr(dot);
        }
        if (const std::error_code error = saveSymbolFile(
                symbol.moduleMatrix, symbol.rows, symbol.cols, o.moduleSize, o.quietZone, path))
            fail(writeError(path, error));
        std::cout << symbol.rows << 'x' << symbol.cols << " symbol written to " << path << '\n';
    }
}

}  // namespace

void addEncodeCommand(CLI::App& app) {
    auto options = std::make_shared<EncodeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "encode",
        "Encode text into a Data Matrix symbol and write it as a JPEG file, or PNG or SVG by "
        "the output's extension. The text comes from the argument, --file or standard input, and "
        "is "
        "converted from UTF-8 to code page 936 (GBK), or with --eci to the ECI's character set, "
        "unless --raw is given; a leading UTF-8 byte-order mark is dropped. The encodation "
        "schemes are chosen for the fewest codewords unless --scheme names one; --scheme ascii "
        "gives the window's symbol. A file or "
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
    cmd->add_option("-o,--output", options->output,
                    "File to write: PNG or SVG for names ending in .png or .svg, JPEG otherwise (a "
                    "series adds -1, -2, ... to the name)")
        ->capture_default_str();
    cmd->add_option("--scheme", options->scheme,
                    "Encodation: auto (fewest codewords), or one scheme throughout: ascii, c40, "
                    "text, x12, edifact, base256")
        ->check(CLI::IsMember(std::vector<std::string>(kSchemeNames.begin(), kSchemeNames.end())))
        ->capture_default_str();
    cmd->add_option("--shape", options->shape,
                    "Symbol shape: square, rect (rectangles) or any (the smallest area)")
        ->check(CLI::IsMember(std::vector<std::string>(kShapeNames.begin(), kShapeNames.end())))
        ->capture_default_str();
    cmd->add_flag("--dmre", options->dmre,
                  "Allow the rectangular extension sizes (DMRE, 8x48 to 26x64) for rect and any");
    cmd->add_flag("--gs1", options->gs1,
                  "GS1 data: element strings with the identifiers in parentheses, "
                  "\"(01)09501101530003(17)140704(10)AB-123\"");
    cmd->add_option("--macro", options->macro,
                    "Wrap the text in a Macro 05 or 06 envelope (\"[)>\" RS \"05\" GS ... RS EOT)")
        ->check(CLI::IsMember({"05", "06"}));
    cmd->add_option("--eci", options->eci,
                    "Write this ECI designator first and convert the text to its character set "
                    "(26 for UTF-8, 3 for ISO-8859-1, 899 for bytes as they are)")
        ->check(CLI::Range(0, 999999));
    cmd->add_option("--structured-append", options->structuredAppend,
                    "Split the message over this many symbols (2-16) of one Structured Append "
                    "series")
        ->check(CLI::Range(2, kMaxStructuredAppend));
    cmd->add_flag("--reader-programming", options->readerProgramming,
                  "Mark the symbol as Reader Programming");
    cmd->add_flag("--codewords", options->codewords,
                  "Print the codeword stream (data, then error correction) in decimal");
    cmd->callback([cmd, options] {
        options->textGiven = cmd->count("text") > 0;
        run(*options);
    });
}

}  // namespace dm::tool
