// The Python module dmcodec: decode, decode_all, encode and grade over NumPy arrays and PIL
// images, on the same code paths the command-line tool runs for image files.

#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "encoder/symbol_encoder.h"
#include "encoder/symbol_renderer.h"
#include "grading/print_quality.h"
#include "platform/gbk_text.h"
#include "platform/image_decoding.h"
#include "platform/image_files.h"
#include "platform/message_text.h"
#include "symbology/symbol_size.h"

namespace py = pybind11;

namespace dm::python {
namespace {

// The exception classes and the PIL conversion, written in Python: exceptions with attributes
// are plainer there than through the C API.
constexpr const char* kPythonPart = R"(
class DecodeError(Exception):
    """No symbol was decoded (decode) or located (grade).

    status is the decoder's status number (3 missing input, 9 no finder, 6 a Reed-Solomon
    block uncorrectable, ...), meaning its one-line description, result the Result of how far
    the decode got (its corners set when a symbol was located), or None.
    """

    def __init__(self, status, meaning, result=None):
        super().__init__(f"status {status}: {meaning}")
        self.status = status
        self.meaning = meaning
        self.result = result


class EncodeError(ValueError):
    """The text cannot be encoded with the options given (too long for the shape or size, a
    character the character set or the forced scheme cannot write, malformed GS1 data)."""


def _pil_pixels(image):
    """A PIL image as (array, rgb): an 8-bit gray 2-D array, or 3-D in RGB order when rgb."""
    import numpy
    mode = image.mode
    if mode in ("L", "RGB"):
        return numpy.asarray(image), mode == "RGB"
    if mode == "I" or mode.startswith("I;16"):
        # 16-bit gray keeps its 8 high bits; 32-bit integers within 0..255 are taken as they are.
        values = numpy.asarray(image).astype(numpy.int64)
        if mode == "I" and values.size and values.min() >= 0 and values.max() <= 255:
            return values.astype(numpy.uint8), False
        return (numpy.clip(values, 0, 65535) >> 8).astype(numpy.uint8), False
    if mode in ("1", "LA", "La", "F"):
        return numpy.asarray(image.convert("L")), False
    return numpy.asarray(image.convert("RGB")), True
)";

// The Python-side objects the module made at import.
struct ModuleObjects {
    py::object decodeError;
    py::object encodeError;
    py::object pilPixels;
};

ModuleObjects& objects() {
    static ModuleObjects o;
    return o;
}

// An image of either kind, as the RGB pixels the tool's decoding reads.
RgbImage rgbFromArray(const py::array& array, bool rgbOrder) {
    if (array.dtype().kind() != 'u' || array.itemsize() != 1) {
        throw py::value_error("the image array must be of dtype uint8, not " +
                              py::str(array.dtype()).cast<std::string>());
    }
    if (array.ndim() != 2 && array.ndim() != 3) {
        throw py::value_error("the image array must be 2-D (gray) or 3-D (BGR or BGRA), not " +
                              std::to_string(array.ndim()) + "-D");
    }
    const py::ssize_t channels = array.ndim() == 3 ? array.shape(2) : 1;
    if (channels != 1 && channels != 3 && channels != 4) {
        throw py::value_error("a 3-D image array must have 1, 3 (BGR) or 4 (BGRA) channels, not " +
                              std::to_string(channels));
    }
    const py::ssize_t height = array.shape(0);
    const py::ssize_t width = array.shape(1);
    if (width == 0 || height == 0) {
        throw py::value_error("the image array is empty (" + std::to_string(height) + " x " +
                              std::to_string(width) + ")");
    }
    if (width > kMaxImageSide || height > kMaxImageSide ||
        static_cast<int64_t>(width) * height > kMaxImagePixels) {
        throw py::value_error("the image is " + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels; at most " +
                              std::to_string(kMaxImageSide) + " a side and " +
                              std::to_string(kMaxImagePixels) + " in all are read");
    }
    // Strides in bytes, any sign: a view flipped, cropped or taking every other pixel is read
    // where its elements lie.
    const py::ssize_t rowStep = array.strides(0);
    const py::ssize_t pixelStep = array.strides(1);
    const py::ssize_t channelStep = array.ndim() == 3 ? array.strides(2) : 0;
    const auto* base = static_cast<const uint8_t*>(array.data());
    RgbImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint8_t* out = image.rgb.data();
    // Blue, green, red at these channel offsets; red first for a PIL image's RGB.
    const py::ssize_t blue = channels == 1 ? 0 : (rgbOrder ? 2 : 0) * channelStep;
    const py::ssize_t green = channels == 1 ? 0 : channelStep;
    const py::ssize_t red = channels == 1 ? 0 : (rgbOrder ? 0 : 2) * channelStep;
    for (py::ssize_t y = 0; y < height; ++y) {
        const uint8_t* row = base + y * rowStep;
        for (py::ssize_t x = 0; x < width; ++x, out += 3) {
            const uint8_t* p = row + x * pixelStep;
            out[0] = p[red];
            out[1] = p[green];
            out[2] = p[blue];
        }
    }
    return image;
}

bool isPilImage(const py::handle& image) {
    const py::dict modules = py::module_::import("sys").attr("modules");
    if (!modules.contains("PIL.Image"))
        return false;  // not imported, so no object can be one of its images
    return py::isinstance(image, modules["PIL.Image"].attr("Image"));
}

RgbImage rgbOf(const py::handle& image) {
    if (py::isinstance<py::array>(image))
        return rgbFromArray(py::reinterpret_borrow<py::array>(image), false);
    if (isPilImage(image)) {
        const py::tuple converted = objects().pilPixels(image);
        return rgbFromArray(converted[0].cast<py::array>(), converted[1].cast<bool>());
    }
    throw py::type_error("the image must be a NumPy array or a PIL image, not " +
                         py::str(py::type::of(image).attr("__name__")).cast<std::string>());
}

// One decoded (or failed) symbol as Python sees it.
struct Result {
    DecodeResult r;

    std::string text() const { return messageText(r.text, r.eciSegments); }
    py::bytes bytes() const { return py::bytes(r.text); }
    py::object corners() const {
        if (!r.corners)
            return py::none();
        py::list points;
        for (const ImagePoint& p : *r.corners)
            points.append(py::make_tuple(p.x, p.y));
        return py::tuple(points);
    }
    std::pair<int, int> size() const { return {r.symbolRows, r.symbolCols}; }
    int status() const { return toInt(r.status); }
    std::string meaning() const { return std::string(r.statusMeaning()); }
    std::vector<std::string> flags() const {
        std::vector<std::string> names;
        const std::pair<bool, const char*> all[] = {{r.gs1, "gs1"},
                                                    {r.macro != 0, "macro"},
                                                    {!r.eciSegments.empty(), "eci"},
                                                    {r.appendTotal != 0, "structured_append"},
                                                    {r.readerProgramming, "reader_programming"},
                                                    {r.mirrored, "mirrored"},
                                                    {r.inverted, "inverted"}};
        for (const auto& [set, name] : all) {
            if (set)
                names.emplace_back(name);
        }
        return names;
    }
    std::string repr() const {
        if (!r.decoded)
            return "<dmcodec.Result not decoded, status " + std::to_string(status()) + ">";
        return "<dmcodec.Result " + std::to_string(r.symbolRows) + "x" +
               std::to_string(r.symbolCols) + " " + py::repr(py::str(text())).cast<std::string>() +
               ">";
    }
};

[[noreturn]] void raiseDecodeError(int status, const std::string& meaning, py::object result) {
    const py::object error = objects().decodeError(status, meaning, std::move(result));
    PyErr_SetObject(objects().decodeError.ptr(), error.ptr());
    throw py::error_already_set();
}

// The outcome's failure as DecodeError: an image too small to hold a symbol, or memory that ran
// out, says so (missing input, out of memory); else the decode's status.
[[noreturn]] void raiseFailure(const FileOutcome& outcome) {
    if (!outcome.error.empty()) {
        const bool memory = outcome.error.find("out of memory") != std::string::npos;
        raiseDecodeError(toInt(memory ? DecodeStatus::OutOfMemory : DecodeStatus::MissingInput),
                         outcome.error, py::none());
    }
    raiseDecodeError(toInt(outcome.result.status), std::string(outcome.result.statusMeaning()),
                     py::cast(Result{outcome.result}));
}

Result decode(const py::handle& image) {
    const RgbImage rgb = rgbOf(image);
    FileOutcome outcome;
    {
        const py::gil_scoped_release unlocked;
        outcome = decodeRgbImage(rgb);
    }
    if (!outcome.result.decoded)
        raiseFailure(outcome);
    return Result{std::move(outcome.result)};
}

std::vector<Result> decodeAll(const py::handle& image, int most) {
    if (most < 1 || most > 1000)
        throw py::value_error("most must be 1 to 1000, not " + std::to_string(most));
    const RgbImage rgb = rgbOf(image);
    FileOutcome outcome;
    {
        const py::gil_scoped_release unlocked;
        outcome = decodeRgbImage(rgb, most);
    }
    if (!outcome.error.empty() && outcome.error.find("out of memory") != std::string::npos)
        raiseFailure(outcome);
    std::vector<Result> symbols;
    for (DecodeResult& r : outcome.symbols)
        symbols.push_back(Result{std::move(r)});
    return symbols;
}

// --- encode ---

template <size_t N>
size_t choice(const char* option, const std::string& value,
              const std::array<const char*, N>& names) {
    for (size_t i = 0; i < N; ++i) {
        if (value == names[i])
            return i;
    }
    std::string list;
    for (const char* name : names)
        list.append(list.empty() ? "" : ", ").append(name);
    throw py::value_error(std::string(option) + " must be one of " + list + ", not '" + value +
                          "'");
}

// The size index of (rows, cols) or "RxC".
int sizeIndexOf(const py::handle& size, bool dmre) {
    int rows = 0, cols = 0;
    bool parsed = false;
    if (py::isinstance<py::str>(size)) {
        const std::string text = size.cast<std::string>();
        char x = 0, rest = 0;
        parsed = !text.empty() && text[0] >= '0' && text[0] <= '9' &&
                 std::sscanf(text.c_str(), "%d%c%d%c", &rows, &x, &cols, &rest) == 3 &&
                 (x == 'x' || x == 'X');
    } else if (py::isinstance<py::tuple>(size) && py::len(size) == 2) {
        const py::tuple pair = py::reinterpret_borrow<py::tuple>(size);
        if (py::isinstance<py::int_>(pair[0]) && py::isinstance<py::int_>(pair[1])) {
            rows = pair[0].cast<int>();
            cols = pair[1].cast<int>();
            parsed = true;
        }
    }
    if (parsed) {
        for (int i = 0; i < kSizeCount; ++i) {
            const SymbolSize& s = symbolSize(i);
            if (s.symbolRows != rows || s.symbolCols != cols)
                continue;
            if (isDmre(i) && !dmre) {
                throw py::value_error("size " + std::to_string(rows) + "x" + std::to_string(cols) +
                                      " is a rectangular extension size; add dmre=True");
            }
            return i;
        }
    }
    throw py::value_error(
        "size takes a symbol size as (rows, columns) or 'RxC', one of the table's: 10x10 to "
        "144x144, 8x18 to 16x48, with dmre=True 8x48 to 26x64; not " +
        py::repr(size).cast<std::string>());
}

constexpr int kBinaryEci = 899;

// The message bytes of text: bytes as they are; a str as UTF-8 converted to GBK, or to the
// character set of the ECI.
std::string messageBytes(const py::handle& text, int eci) {
    if (py::isinstance<py::bytes>(text))
        return text.cast<std::string>();
    if (py::isinstance<py::bytearray>(text))
        return py::bytearray(py::reinterpret_borrow<py::object>(text)).operator std::string();
    if (!py::isinstance<py::str>(text)) {
        throw py::type_error("text must be str or bytes, not " +
                             py::str(py::type::of(text).attr("__name__")).cast<std::string>());
    }
    const std::string utf8 = text.cast<std::string>();
    if (eci == kBinaryEci)
        return utf8;
    std::string set = "GBK";
    std::string described = "code page 936 (GBK)";
    if (eci >= 0) {
        const auto eciSet = eciCharacterSet(eci);
        if (!eciSet) {
            throw py::value_error("ECI " + std::to_string(eci) +
                                  " names no character set known here; pass bytes to encode "
                                  "them as they are");
        }
        set = std::string(*eciSet);
        described = set + " (ECI " + std::to_string(eci) + ")";
    }
    std::string bad;
    auto converted = fromUtf8(utf8, set.c_str(), &bad);
    if (!converted) {
        PyErr_SetString(objects().encodeError.ptr(), ("the text cannot be written in " + described +
                                                      ": first offending character '" + bad +
                                                      "'; pass bytes to encode them "
                                                      "as they are")
                                                         .c_str());
        throw py::error_already_set();
    }
    return std::move(*converted);
}

constexpr std::array<const char*, 7> kSchemes{"auto", "ascii",   "c40",    "text",
                                              "x12",  "edifact", "base256"};
constexpr std::array<const char*, 3> kShapes{"square", "rect", "any"};

py::array_t<uint8_t> encode(const py::handle& text, const std::string& scheme,
                            const std::string& shape, const py::object& size, int moduleSize,
                            int quietZone, bool dmre, bool gs1, std::optional<int> macro,
                            std::optional<int> eci, bool readerProgramming) {
    if (moduleSize < kMinModuleSize || moduleSize > kMaxModuleSize) {
        throw py::value_error("module_size must be " + std::to_string(kMinModuleSize) + " to " +
                              std::to_string(kMaxModuleSize) + " pixels, not " +
                              std::to_string(moduleSize));
    }
    if (quietZone < kMinQuietZone || quietZone > kMaxQuietZone) {
        throw py::value_error("quiet_zone must be " + std::to_string(kMinQuietZone) + " to " +
                              std::to_string(kMaxQuietZone) + " modules, not " +
                              std::to_string(quietZone));
    }
    if (macro && *macro != 5 && *macro != 6)
        throw py::value_error("macro must be 5 or 6, not " + std::to_string(*macro));
    if (eci && (*eci < 0 || *eci > 999999))
        throw py::value_error("eci must be 0 to 999999, not " + std::to_string(*eci));
    SymbolOptions options;
    options.scheme = static_cast<Scheme>(choice("scheme", scheme, kSchemes));
    options.shape = static_cast<Shape>(choice("shape", shape, kShapes));
    options.dmre = dmre;
    if (!size.is_none()) {
        options.sizeIndex = sizeIndexOf(size, dmre);
        options.shape = Shape::Any;  // the size decides
    }
    options.gs1 = gs1;
    options.macro = macro.value_or(0);
    options.eci = eci.value_or(-1);
    options.readerProgramming = readerProgramming;
    const std::string bytes = messageBytes(text, options.eci);
    if (bytes.empty())
        throw py::value_error("the text is empty; nothing to encode");
    if (bytes.size() > static_cast<size_t>(kMessageCapacity)) {
        PyErr_SetString(objects().encodeError.ptr(),
                        ("the text is " + std::to_string(bytes.size()) + " bytes; at most " +
                         std::to_string(kMessageCapacity) + " bytes can be encoded")
                            .c_str());
        throw py::error_already_set();
    }
    SymbolImage image;
    std::string error;
    {
        const py::gil_scoped_release unlocked;
        const SymbolSeries series =
            encodeSymbols({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, options);
        if (series.symbols.empty()) {
            error = series.error;
        } else {
            const EncodedSymbol& s = series.symbols.front();
            image = drawModules(s.moduleMatrix, s.rows, s.cols, moduleSize, quietZone);
        }
    }
    if (!error.empty()) {
        PyErr_SetString(objects().encodeError.ptr(), error.c_str());
        throw py::error_already_set();
    }
    py::array_t<uint8_t> out({image.height, image.width});
    std::copy(image.pixels.begin(), image.pixels.end(), out.mutable_data());
    return out;
}

// --- grade ---

constexpr std::array<const char*, 4> kLights{"red", "green", "blue", "white"};
constexpr std::array<const char*, kParameterCount> kParameterNames{"decode",
                                                                   "symbol_contrast",
                                                                   "modulation",
                                                                   "reflectance_margin",
                                                                   "fixed_pattern_damage",
                                                                   "axial_nonuniformity",
                                                                   "grid_nonuniformity",
                                                                   "unused_error_correction"};

// The Python name of a parameter: a direct part mark's own in its three slots.
const char* parameterKey(Parameter p, GradingMode mode) {
    if (mode == GradingMode::DirectPartMark) {
        if (p == Parameter::CellContrast)
            return "cell_contrast";
        if (p == Parameter::CellModulation)
            return "cell_modulation";
        if (p == Parameter::MinimumReflectance)
            return "minimum_reflectance";
    }
    return kParameterNames[static_cast<size_t>(p)];
}

struct ParameterResult {
    std::string name;   // "symbol_contrast", ...
    std::string title;  // "Symbol contrast", ...
    ParameterGrade p;

    py::object value() const { return p.measured ? py::cast(p.value) : py::none(); }
    py::object grade() const { return p.measured ? py::cast(p.grade) : py::none(); }
    py::object letter() const {
        return p.measured ? py::cast(std::string(1, gradeLetter(p.grade))) : py::none();
    }
    std::string repr() const {
        if (!p.measured)
            return "<dmcodec.ParameterGrade " + name + " not measured>";
        char text[96];
        std::snprintf(text, sizeof text, "<dmcodec.ParameterGrade %s %.4g %c (%.1f)>", name.c_str(),
                      p.value, gradeLetter(p.grade), p.grade);
        return text;
    }
};

struct GradeResult {
    SymbolGrade g;
    DecodeResult r;  // the decode that located the symbol

    py::dict parameters() const {
        py::dict out;
        for (const ParameterGrade& p : g.parameters) {
            const char* key = parameterKey(p.parameter, g.mode);
            out[key] = ParameterResult{key, std::string(parameterName(p.parameter, g.mode)), p};
        }
        return out;
    }
    py::object gridFailure() const {
        if (g.gridFailure == GridFailure::None)
            return py::none();
        return py::str(std::string(gridFailureText(g.gridFailure)));
    }
    py::object printGrowth() const {
        if (g.gridFailure != GridFailure::None)
            return py::none();
        return py::make_tuple(g.printGrowthX, g.printGrowthY);
    }
    // What the grade's own reading decoded, as status and decoded say: a symbol only the grading
    // found has its text, one that does not read at its measured grid has none.
    py::object text() const {
        return g.decoded ? py::cast(messageText(g.text, g.eciSegments)) : py::none();
    }
    py::tuple corners() const {
        py::list points;
        for (const ImagePoint& p : g.corners)
            points.append(py::make_tuple(p.x, p.y));
        return py::tuple(points);
    }
    std::vector<std::pair<int, int>> blocks() const {
        std::vector<std::pair<int, int>> out;
        for (const BlockErrors& b : g.blocks)
            out.emplace_back(b.errors, b.capacity);
        return out;
    }
    std::string repr() const {
        char text[96];
        std::snprintf(text, sizeof text, "<dmcodec.Grade %dx%d %c (%.1f)>", g.symbolRows,
                      g.symbolCols, gradeLetter(g.overall), g.overall);
        return text;
    }
};

GradeResult grade(const py::handle& image, const std::string& light, bool dpm,
                  std::optional<double> aperture, std::optional<double> apertureMils,
                  std::optional<double> dpi) {
    const auto lightChoice = static_cast<Light>(choice("light", light, kLights));
    const GradingMode mode = dpm ? GradingMode::DirectPartMark : GradingMode::Print;
    Aperture chosen = defaultAperture(mode);
    if (dpi && !(*dpi >= 50 && *dpi <= 20000))
        throw py::value_error("dpi must be 50 to 20000, not " +
                              py::repr(py::cast(*dpi)).cast<std::string>());
    if (aperture && apertureMils)
        throw py::value_error(
            "give aperture (a share of the X dimension) or aperture_mils, not both");
    if (aperture) {
        if (!(*aperture > 0 && *aperture <= 2))
            throw py::value_error("aperture is a share of the X dimension above 0 and at most 2");
        chosen.moduleShare = *aperture;
    }
    if (apertureMils) {
        if (!dpi)
            throw py::value_error("aperture_mils needs the picture's resolution: add dpi");
        if (!(*apertureMils > 0 && *apertureMils <= 100))
            throw py::value_error("aperture_mils must be above 0 and at most 100");
        chosen.pixels = *apertureMils / 1000 * *dpi;
    }
    RgbImage rgb = rgbOf(image);
    GradedFile graded;
    {
        const py::gil_scoped_release unlocked;
        graded = gradeRgbImage(std::move(rgb), lightChoice, std::nullopt, chosen, mode);
    }
    if (!graded.grade.located)
        raiseFailure(graded.file);
    return GradeResult{std::move(graded.grade), std::move(graded.file.result)};
}

}  // namespace
}  // namespace dm::python

PYBIND11_MODULE(dmcodec, m) {
    using namespace dm;
    using namespace dm::python;
    m.doc() =
        "Data Matrix (ECC 200) decoding, encoding and print-quality grading.\n\n"
        "Images are NumPy arrays of dtype uint8, 2-D gray or 3-D with 3 (BGR) or 4 (BGRA) "
        "channels, any strides, or PIL images. Text without an ECI is code page 936 (GBK), as "
        "this system writes it.";

    py::dict scope = m.attr("__dict__");
    py::exec(kPythonPart, scope);
    objects().decodeError = m.attr("DecodeError");
    objects().encodeError = m.attr("EncodeError");
    objects().pilPixels = m.attr("_pil_pixels");
    // The objects outlive the interpreter's last use of them; drop them before it goes.
    m.add_object("_cleanup", py::capsule([] { objects() = ModuleObjects{}; }));

    py::class_<Result>(m, "Result", "One Data Matrix symbol as the decoder read it.")
        .def_property_readonly("text", &Result::text,
                               "The message as text: GBK where no ECI is in force, each ECI "
                               "segment in its character set; bytes that do not convert become "
                               "U+FFFD.")
        .def_property_readonly("bytes", &Result::bytes,
                               "The message bytes exactly as the symbol holds them (FNC1 as byte "
                               "29, a Macro 05/06 expanded, ECI designators left out).")
        .def_property_readonly("corners", &Result::corners,
                               "The symbol's outer corners as (x, y) in the image's pixels: top "
                               "left, top right, bottom right, bottom left as printed (the solid "
                               "edges meet at the last); None when it was not located.")
        .def_property_readonly("size", &Result::size,
                               "(rows, columns) in modules; (0, 0) when no size was measured.")
        .def_property_readonly("status", &Result::status,
                               "The decoder's status number: 1 decoded, else how it failed.")
        .def_property_readonly("meaning", &Result::meaning, "The status in words.")
        .def_property_readonly(
            "decoded", [](const Result& r) { return r.r.decoded; }, "Whether it decoded.")
        .def_property_readonly("flags", &Result::flags,
                               "Names of what the message is beside its text, of gs1, macro, "
                               "eci, structured_append, reader_programming, mirrored, inverted.")
        .def_property_readonly(
            "symbology_identifier", [](const Result& r) { return r.r.symbologyIdentifier; },
            "The AIM symbology identifier, ']d1' to ']d6'.")
        .def_property_readonly(
            "gs1", [](const Result& r) { return r.r.gs1; },
            "FNC1 in the first position: the text is GS1 element strings.")
        .def_property_readonly(
            "macro",
            [](const Result& r) { return r.r.macro ? py::cast(int{r.r.macro}) : py::none(); },
            "5 or 6 for a Macro 05/06 symbol (its header and trailer are in the text), else None.")
        .def_property_readonly(
            "eci",
            [](const Result& r) {
                std::vector<std::pair<int, int>> out;
                for (const EciSegment& s : r.r.eciSegments)
                    out.emplace_back(s.eci, s.begin);
                return out;
            },
            "The ECIs in force as (eci, first byte index), in message order.")
        .def_property_readonly(
            "structured_append",
            [](const Result& r) -> py::object {
                if (r.r.appendTotal == 0)
                    return py::none();
                return py::make_tuple(int{r.r.appendPosition}, int{r.r.appendTotal},
                                      py::make_tuple(int{r.r.fileId1}, int{r.r.fileId2}));
            },
            "(position, total, (file id 1, file id 2)) of a Structured Append symbol, else None.")
        .def_property_readonly(
            "reader_programming", [](const Result& r) { return r.r.readerProgramming; },
            "The symbol programs the reader.")
        .def_property_readonly(
            "mirrored", [](const Result& r) { return r.r.mirrored; },
            "Read from the picture's mirror image.")
        .def_property_readonly(
            "inverted", [](const Result& r) { return r.r.inverted; },
            "Printed light on a dark ground.")
        .def("__repr__", &Result::repr);

    py::class_<ParameterResult>(m, "ParameterGrade", "One print-quality parameter.")
        .def_readonly("name", &ParameterResult::name, "Its key: 'symbol_contrast', ...")
        .def_readonly("title", &ParameterResult::title, "Its name for people: 'Symbol contrast'.")
        .def_property_readonly(
            "measured", [](const ParameterResult& p) { return p.p.measured; },
            "False when the grid it is measured at could not be measured.")
        .def_property_readonly("value", &ParameterResult::value,
                               "What was measured (fractions; decode 1 or 0; fixed pattern "
                               "damage in modules); None when not measured.")
        .def_property_readonly("grade", &ParameterResult::grade,
                               "4.0 (A) to 0.0 (F); None when not measured.")
        .def_property_readonly("letter", &ParameterResult::letter,
                               "'A' to 'D' or 'F'; None when not measured.")
        .def("__repr__", &ParameterResult::repr);

    py::class_<GradeResult>(m, "Grade",
                            "The print quality of one symbol. Indicative: reflectance is read as "
                            "level / 255 through a synthetic aperture, without a verifier's "
                            "calibrated lighting and optics.")
        .def_property_readonly(
            "mode",
            [](const GradeResult& g) {
                return g.g.mode == GradingMode::DirectPartMark ? "dpm" : "print";
            },
            "'print', or 'dpm' for a direct part mark.")
        .def_property_readonly(
            "size", [](const GradeResult& g) { return std::pair(g.g.symbolRows, g.g.symbolCols); },
            "(rows, columns) in modules.")
        .def_property_readonly(
            "overall", [](const GradeResult& g) { return g.g.overall; },
            "The overall grade, the lowest parameter's, 4.0 to 0.0.")
        .def_property_readonly(
            "letter", [](const GradeResult& g) { return std::string(1, gradeLetter(g.g.overall)); },
            "The overall grade's letter.")
        .def_property_readonly("parameters", &GradeResult::parameters,
                               "The parameters by key, in the verifier's order.")
        .def_property_readonly(
            "decoded", [](const GradeResult& g) { return g.g.decoded; },
            "Whether the grade's own reading of the measured grid decoded.")
        .def_property_readonly(
            "status", [](const GradeResult& g) { return toInt(g.g.status); },
            "How the grade's own reading ended (1 decoded).")
        .def_property_readonly(
            "meaning", [](const GradeResult& g) { return std::string(statusMeaning(g.g.status)); },
            "The status in words.")
        .def_property_readonly(
            "text", &GradeResult::text,
            "The text the grade's own reading decoded (as Result.text), None when it "
            "did not decode.")
        .def_property_readonly("corners", &GradeResult::corners,
                               "The outline of the measured grid, (x, y) as Result.corners.")
        .def_property_readonly(
            "module_size", [](const GradeResult& g) { return g.g.moduleSize; },
            "Mean module pitch, pixels.")
        .def_property_readonly(
            "aperture", [](const GradeResult& g) { return g.g.aperture; },
            "Synthetic aperture diameter, pixels.")
        .def_property_readonly(
            "max_reflectance", [](const GradeResult& g) { return g.g.maxReflectance; },
            "Highest reflectance over the symbol and its quiet zone, 0 to 1.")
        .def_property_readonly(
            "min_reflectance", [](const GradeResult& g) { return g.g.minReflectance; },
            "Lowest reflectance over the symbol and its quiet zone, 0 to 1.")
        .def_property_readonly(
            "global_threshold", [](const GradeResult& g) { return g.g.globalThreshold; },
            "Halfway between the two.")
        .def_property_readonly(
            "lowest_modulation", [](const GradeResult& g) { return g.g.lowestModulation; },
            "The lowest modulation of any codeword module.")
        .def_property_readonly(
            "lowest_margin", [](const GradeResult& g) { return g.g.lowestMargin; },
            "The lowest reflectance margin of any codeword module (negative: read the wrong "
            "colour).")
        .def_property_readonly("print_growth", &GradeResult::printGrowth,
                               "(horizontal, vertical) print growth in modules per edge, "
                               "informative; None when the grid was not measured.")
        .def_property_readonly(
            "exposure", [](const GradeResult& g) { return g.g.exposure; },
            "A direct part mark's exposure factor (1 for a print).")
        .def_property_readonly(
            "mean_light", [](const GradeResult& g) { return g.g.meanLight; },
            "A direct part mark's mean light cell after exposure (0 for a print).")
        .def_property_readonly(
            "mean_dark", [](const GradeResult& g) { return g.g.meanDark; },
            "A direct part mark's mean dark cell after exposure (0 for a print).")
        .def_property_readonly("grid_failure", &GradeResult::gridFailure,
                               "Why the grid could not be measured, or None.")
        .def_property_readonly("blocks", &GradeResult::blocks,
                               "(errors corrected, capacity) of each Reed-Solomon block; errors "
                               "-1 for a block that could not be corrected.")
        .def("__repr__", &GradeResult::repr);

    m.def("decode", &decode, py::arg("image"),
          "Decode the one Data Matrix symbol in the image, as `dmcodec decode` decodes an image "
          "file. Returns a Result; raises DecodeError (with status and meaning) when none "
          "decodes, ValueError for an array of the wrong dtype, shape or size, TypeError for "
          "what is not an image.");
    m.def("decode_all", &decodeAll, py::arg("image"), py::arg("most") = kDefaultMostSymbols,
          "Decode every symbol in the image, at most `most` (1 to 1000), in reading order (rows "
          "top to bottom, each left to right), as `dmcodec decode --all` does. Returns a list of "
          "Result, empty when none was read.");
    m.def("encode", &encode, py::arg("text"), py::kw_only(), py::arg("scheme") = "auto",
          py::arg("shape") = "square", py::arg("size") = py::none(), py::arg("module_size") = 4,
          py::arg("quiet_zone") = 3, py::arg("dmre") = false, py::arg("gs1") = false,
          py::arg("macro") = py::none(), py::arg("eci") = py::none(),
          py::arg("reader_programming") = false,
          "Encode text into a Data Matrix symbol and draw it: a 2-D uint8 array, 0 dark and 255 "
          "light, module_size pixels a module (1 to 20) and quiet_zone light modules (0 to 20) "
          "on every side. A str is written as code page 936 (GBK), or in the character set of "
          "the eci; bytes as they are. scheme: auto, ascii, c40, text, x12, edifact, base256; "
          "shape: square, rect or any (the smallest that holds the text), or size as (rows, "
          "columns) or 'RxC'; dmre adds the rectangular extension sizes; gs1 takes GS1 element "
          "strings '(01)...(17)...'; macro 5 or 6 wraps the text in a Macro 05/06 envelope. "
          "Raises EncodeError when the text cannot be encoded so, ValueError for options out of "
          "range.");
    m.def("grade", &grade, py::arg("image"), py::kw_only(), py::arg("light") = "red",
          py::arg("dpm") = false, py::arg("aperture") = py::none(),
          py::arg("aperture_mils") = py::none(), py::arg("dpi") = py::none(),
          "Grade the print quality of the symbol in the image, as `dmcodec grade` grades an "
          "image file. light: red (the default), green, blue or white, the channel a colour "
          "image is read in; dpm grades a direct part mark; aperture is the synthetic aperture "
          "as a share of the X dimension (0.8 for a print, 0.5 for a mark by default), or "
          "aperture_mils its diameter in mils with dpi the picture's resolution. Returns a "
          "Grade; raises DecodeError when no symbol is located.");
}
