#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "encoder/jpeg_output.h"
#include "encoder/message_encoder.h"
#include "encoder/symbol_encoder.h"
#include "encoder/symbol_files.h"
#include "encoder/symbol_renderer.h"
#include "platform/file_reading.h"
#include "platform/file_writing.h"
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
    bool fileGiven = false;
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
    std::string format;  // png, svg or jpeg; empty: from the output's name
    std::string size;    // RxC; empty: the smallest that holds the message
};

constexpr std::array<std::string_view, 7> kSchemeNames{"auto", "ascii",   "c40",    "text",
                                                       "x12",  "edifact", "base256"};
constexpr std::array<std::string_view, 3> kShapeNames{"square", "rect", "any"};
constexpr std::array<std::string_view, 7> kSchemeLabels{"auto", "ASCII",   "C40",    "Text",
                                                        "X12",  "EDIFACT", "Base256"};

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

// Input is read no further than the longest that could be encoded: 3,116 bytes a symbol, each
// of which may take three bytes in UTF-8 (the euro sign is one byte in GBK), after a byte-order
// mark.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The most bytes the message may have: one symbol's, or a whole series'.
size_t messageLimit(const EncodeOptions& o) {
    return static_cast<size_t>(kMessageCapacity) * std::max(1, o.structuredAppend);
}

size_t inputLimit(const EncodeOptions& o) {
    return o.raw ? messageLimit(o) : 3 * messageLimit(o) + kByteOrderMark.size();
}

[[noreturn]] void failTooLong(const EncodeOptions& o) {
    fail("the text is longer than " + std::to_string(inputLimit(o)) + " bytes; at most " +
         std::to_string(messageLimit(o)) + " bytes can be encoded" +
         (o.structuredAppend ? " in the series" : ""));
}

std::string inputText(const EncodeOptions& o) {
    if (o.textGiven && !o.file.empty())
        fail("give the text either as an argument or with --file, not both", 2);
    if (o.textGiven)
        return o.text;
    if (o.fileGiven && o.file.empty())
        fail("the --file name is empty; leave --file out to read standard input", 2);
    const bool fromFile = !o.file.empty();
    FileContents in = fromFile ? readRegularFile(o.file, inputLimit(o))
                               : readDescriptor(STDIN_FILENO, inputLimit(o));
    if (in.tooLarge)
        failTooLong(o);
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

// Whether path names standard output: "-", or the file standard output already is
// (/dev/stdout, /proc/self/fd/1, or the file it was redirected to).
bool namesStandardOutput(const std::string& path) {
    if (path == "-")
        return true;
    // A closed standard output is held read-only (see main) and names nothing.
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    struct stat out {};
    struct stat named {};
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && ::fstat(STDOUT_FILENO, &out) == 0 &&
           ::stat(path.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
           out.st_ino == named.st_ino;
}

constexpr std::array<std::string_view, 3> kFormatNames{"jpeg", "png", "svg"};

// The file type to write: --format, else PNG for standard output by name, else the name's.
SymbolFileType outputType(const EncodeOptions& o) {
    if (!o.format.empty())
        return static_cast<SymbolFileType>(indexOf(kFormatNames, o.format));
    if (o.output == "-" || o.output == "/dev/stdout")
        return SymbolFileType::Png;
    if (const auto type = symbolFileType(o.output))
        return *type;
    fail("cannot write ." + fileExtension(o.output) +
             " files: the symbol is written as PNG (.png), SVG (.svg) or JPEG (.jpg, .jpeg or "
             "a name without an image extension); rename the file or choose with --format",
         2);
}

// The size index of "RxC" (rows x columns); refused when no size of the table has it.
int sizeIndexOf(const std::string& text, bool dmre) {
    int rows = 0, cols = 0;
    char x = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%d%c%d%c", &rows, &x, &cols, &rest) == 3 &&
        (x == 'x' || x == 'X') && std::isdigit(static_cast<unsigned char>(text[0]))) {
        for (int i = 0; i < kSizeCount; ++i) {
            const SymbolSize& s = symbolSize(i);
            if (s.symbolRows != rows || s.symbolCols != cols)
                continue;
            if (isDmre(i) && !dmre)
                fail("--size " + text + " is a rectangular extension size; add --dmre", 2);
            return i;
        }
    }
    fail(
        "--size takes a symbol size as ROWSxCOLUMNS, one of the table's: 10x10 to 144x144, "
        "8x18 to 16x48, with --dmre 8x48 to 26x64; not '" +
            text + "'",
        2);
}

void checkRenderParameters(const EncodeOptions& o) {
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
        fail("the output file name is empty; give -o - for standard output", 2);
}

// NAME-1.EXT, NAME-2.EXT, ... for the k'th symbol of a series, or NAME-1, ... when the file
// name has no extension (a dot in a folder name is not one).
std::string seriesPath(const std::string& output, size_t k) {
    const size_t lastDot = output.find_last_of('.');
    const size_t lastSlash = output.find_last_of('/');
    const size_t dot =
        lastDot == std::string::npos || (lastSlash != std::string::npos && lastDot < lastSlash)
            ? output.size()
            : lastDot;
    return output.substr(0, dot) + '-' + std::to_string(k + 1) + output.substr(dot);
}

// A forced scheme that cannot write a character of converted text is refused naming the
// character as typed and its bytes, not a byte of the conversion alone.
void refuseUnwritableCharacter(const std::string& bytes, Scheme scheme, int eci) {
    const std::vector<int> chars(reinterpret_cast<const uint8_t*>(bytes.data()),
                                 reinterpret_cast<const uint8_t*>(bytes.data()) + bytes.size());
    const int bad = unwritableCharacter(chars, scheme);
    if (bad < 0)
        return;
    // Characters of GBK (and of the double-byte sets) have a lead byte above 0x80; of UTF-8 as
    // many bytes as the first says; of the other sets one byte.
    const bool doubleByte = eci < 0 || eci == 20 || (eci >= 28 && eci <= 32);
    size_t start = 0, length = 1, number = 1;
    for (size_t i = 0; i < bytes.size(); i += length, ++number) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        length = 1;
        if (doubleByte && b > 0x80 && b < 0xFF)
            length = i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '9' ? 4 : 2;
        else if (eci == 26 && b >= 0xC0)
            length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        length = std::min(length, bytes.size() - i);
        if (static_cast<size_t>(bad) < i + length) {
            start = i;
            break;
        }
    }
    const std::string character = bytes.substr(start, length);
    const auto set = eci < 0 ? std::optional<std::string_view>("GBK") : eciCharacterSet(eci);
    const std::optional<std::string> typed =
        set ? toUtf8(character, std::string(*set).c_str()) : std::nullopt;
    std::ostringstream msg;
    msg << std::string(kSchemeLabels[static_cast<size_t>(scheme)]) << " cannot write ";
    if (typed && typed->find("\xEF\xBF\xBD") == std::string::npos)
        msg << "'" << *typed << "' (";
    else
        msg << "(";
    msg << "byte" << (character.size() > 1 ? "s" : "");
    for (const unsigned char c : character)
        msg << ' ' << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << int(c);
    msg << std::dec << ", character " << number << " of the text)";
    fail(msg.str());
}

void run(const EncodeOptions& o) {
    checkRenderParameters(o);
    const bool toStandardOutput = namesStandardOutput(o.output);
    if (toStandardOutput && o.structuredAppend > 0)
        fail("a Structured Append series is one file per symbol; name a file, not standard output",
             2);
    if (toStandardOutput && o.codewords)
        fail(
            "--codewords prints to standard output, where the image goes; write the image to a "
            "file",
            2);
    const SymbolFileType type = outputType(o);
    SymbolOptions options;
    options.scheme = static_cast<Scheme>(indexOf(kSchemeNames, o.scheme));
    options.shape = static_cast<Shape>(indexOf(kShapeNames, o.shape));
    options.dmre = o.dmre;
    if (!o.size.empty()) {
        options.sizeIndex = sizeIndexOf(o.size, o.dmre);
        options.shape = Shape::Any;  // the size decides
    }
    options.gs1 = o.gs1;
    options.macro = o.macro.empty() ? 0 : std::stoi(o.macro);
    options.eci = o.eci;
    options.structuredAppend = o.structuredAppend;
    options.readerProgramming = o.readerProgramming;

    std::string bytes = inputText(o);
    if (!o.raw && o.eci != kBinaryEci)
        bytes = textBytes(bytes, o.eci);
    if (bytes.empty())
        fail("the text is empty; nothing to encode");
    const std::span<const uint8_t> message(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           bytes.size());
    if (bytes.size() > messageLimit(o)) {
        fail("the text is " + std::to_string(bytes.size()) + " bytes; at most " +
             std::to_string(messageLimit(o)) + " bytes can be encoded" +
             (o.structuredAppend ? " in the series" : ""));
    }
    if (options.scheme == Scheme::Ascii && o.structuredAppend == 0 && o.size.empty()) {
        const int needed = asciiCodewordCount(message);
        if (needed > kMaxDataCodewords) {
            fail("the text needs " + std::to_string(needed) +
                 " codewords; 1,558 is the most a 144x144 symbol holds");
        }
    }
    // (A macro envelope typed with the text is dropped by the encoder before the scheme sees it.)
    if (!o.raw && !o.gs1 && o.macro.empty() && o.eci != kBinaryEci)
        refuseUnwritableCharacter(bytes, options.scheme, o.eci);
    const SymbolSeries series = encodeSymbols(message, options);
    if (series.symbols.empty())
        fail(series.error);
    // Every file is drawn before any is written, and the series is written whole or not at all.
    std::vector<std::vector<uint8_t>> images;
    std::vector<FileToWrite> files;
    for (size_t k = 0; k < series.symbols.size(); ++k) {
        const EncodedSymbol& symbol = series.symbols[k];
        images.push_back(symbolFileBytes(symbol.moduleMatrix, symbol.rows, symbol.cols,
                                         o.moduleSize, o.quietZone, type));
        if (images.back().empty())
            fail("the symbol could not be drawn as " + std::string(symbolFileTypeName(type)));
    }
    if (toStandardOutput) {
        std::cout.write(reinterpret_cast<const char*>(images[0].data()),
                        static_cast<std::streamsize>(images[0].size()));
        return;  // a failed write is found when standard output is closed
    }
    for (size_t k = 0; k < images.size(); ++k)
        files.push_back(
            {series.symbols.size() > 1 ? seriesPath(o.output, k) : o.output, images[k]});
    if (const FilesWritten written = writeFilesAtomically(files); !written) {
        fail(writeError(files[written.failed].path, written.error) +
             (files.size() > 1 ? "; no file of the series was written" : ""));
    }
    for (size_t k = 0; k < series.symbols.size(); ++k) {
        const EncodedSymbol& symbol = series.symbols[k];
        if (o.codewords) {
            for (size_t i = 0; i < symbol.codewords.size(); ++i)
                std::cout << (i ? " " : "") << int(symbol.codewords[i]);
            std::cout << '\n';
        }
        std::cout << symbol.rows << 'x' << symbol.cols << " symbol written to " << files[k].path
                  << '\n';
    }
}

}  // namespace

// Whole numbers in decimal only: CLI11 would also take 0x10 as 16 and 1e1 as 10.
const CLI::Validator kDecimal(
    [](std::string& value) -> std::string {
        const size_t start = value.starts_with('-') ? 1 : 0;
        const bool digits =
            value.size() > start && value.size() <= start + 9 &&
            std::all_of(value.begin() + static_cast<std::ptrdiff_t>(start), value.end(),
                        [](unsigned char c) { return std::isdigit(c) != 0; });
        return digits ? std::string() : "takes a whole number in decimal, not '" + value + "'";
    },
    "");

void addEncodeCommand(CLI::App& app) {
    auto options = std::make_shared<EncodeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "encode",
        "Encode text into a Data Matrix symbol and write it as a JPEG file, or PNG or SVG by "
        "the output's extension or --format. The text comes from the argument, --file or "
        "standard input, and is converted from UTF-8 to code page 936 (GBK), or with --eci to "
        "the ECI's character set, unless --raw is given; a leading UTF-8 byte-order mark is "
        "dropped. The encodation schemes are chosen for the fewest codewords unless --scheme "
        "names one; --scheme ascii gives the window's symbol. A file or standard input is "
        "encoded byte for byte, a final newline included (printf, not echo, leaves it out). At "
        "most " +
            std::to_string(kMessageCapacity) +
            " bytes (after conversion) fit a symbol, 16 times as many a series; input is read no "
            "further than three times that (as many with --raw) and refused as too long beyond. "
            "Files are written whole or not at all: each into a temporary file beside it, then "
            "renamed into place (a series only once every symbol is written), keeping an "
            "existing file's mode and the symbolic link that leads to it; a device or FIFO is "
            "written in place, and so is a writable file in a folder that takes no new file, "
            "after its room is reserved. Exit status 0 when written, 1 on failure, 2 for a usage "
            "error.");
    cmd->add_option("text", options->text, "Text to encode");
    cmd->add_option("--file", options->file, "Read the text from this file");
    cmd->add_flag("--raw", options->raw, "Encode the input bytes as they are (no GBK conversion)");
    cmd->add_option("--module", options->moduleSize, "Pixels per module (1-20)")
        ->check(kDecimal)
        ->capture_default_str();
    cmd->add_option("--quiet", options->quietZone, "Quiet zone in modules on each side (0-20)")
        ->check(kDecimal)
        ->capture_default_str();
    cmd->add_option("-o,--output", options->output,
                    "File to write: PNG or SVG for names ending in .png or .svg, JPEG for .jpg, "
                    ".jpeg and names without an image extension; other image extensions (.gif, "
                    ".bmp, ...) are refused. - (or /dev/stdout) writes the image to standard "
                    "output, PNG unless --format says otherwise. A series adds -1, -2, ... to "
                    "the name")
        ->capture_default_str();
    cmd->add_option("--format", options->format,
                    "Write this file type whatever the output's name: png, svg or jpeg")
        ->check(CLI::IsMember(std::vector<std::string>(kFormatNames.begin(), kFormatNames.end())));
    cmd->add_option("--size", options->size,
                    "Symbol size as ROWSxCOLUMNS (10x10 ... 144x144, 8x18 ... 16x48, with --dmre "
                    "8x48 ... 26x64) instead of the smallest that holds the text; each symbol of "
                    "a series takes it")
        ->type_name("RxC");
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
                  "\"(01)09501101530003(17)140704(10)AB-123\"; \\( and \\) write parentheses "
                  "in data. Each field is checked against its identifier's rules: length, digits "
                  "or GS1 character set 82 (no space), 39 or 64, check digit or pair, date (day "
                  "00 where allowed), ISO country and currency code, IBAN, and the pairings GS1 "
                  "gives: invalid pairs ((01)/(02), (420)/(421), ...) and the keys an attribute "
                  "needs ((10) with (01), (02), (8006) or (8026), (02) with (37), ...)");
    cmd->add_option("--macro", options->macro,
                    "Wrap the text in a Macro 05 or 06 envelope (\"[)>\" RS \"05\" GS ... RS EOT)")
        ->check(CLI::IsMember({"05", "06"}));
    cmd->add_option("--eci", options->eci,
                    "Write this ECI designator first and convert the text to its character set "
                    "(26 for UTF-8, 3 for ISO-8859-1, 899 for bytes as they are)")
        ->check(kDecimal)
        ->check(CLI::Range(0, 999999));
    cmd->add_option("--structured-append", options->structuredAppend,
                    "Split the message over this many symbols (2-16) of one Structured Append "
                    "series, in equal shares or, when a share does not fit, as much as each "
                    "symbol holds; never inside a character")
        ->check(kDecimal)
        ->check(CLI::Range(2, kMaxStructuredAppend));
    cmd->add_flag("--reader-programming", options->readerProgramming,
                  "Mark the symbol as Reader Programming");
    cmd->add_flag("--codewords", options->codewords,
                  "Print the codeword stream (data, then error correction) in decimal");
    cmd->callback([cmd, options] {
        options->textGiven = cmd->count("text") > 0;
        options->fileGiven = cmd->count("--file") > 0;
        run(*options);
    });
}

}  // namespace dm::tool
