#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <span>

#include "encoder/symbol_files.h"
#include "grading/print_quality.h"
#include "platform/file_reading.h"
#include "platform/file_writing.h"
#include "platform/gbk_text.h"
#include "platform/image_decoding.h"
#include "platform/message_text.h"
#include "tools/commands.h"
#include "tools/grade_report.h"
#include "tools/html_report.h"
#include "tools/progress_line.h"
#include "tools/result_text.h"

namespace dm::tool {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct GradeOptions {
    std::vector<std::string> files;
    bool json = false;
    std::string report;
    bool reportGiven = false;
    std::string light = "red";
    bool all = false;
    std::string aperture;  // as given: "0.8x" (of the X dimension) or mils ("5", "5mil")
    double dpi = 0;        // the pictures' resolution, 0 when not given
    bool scans = false;
    bool dpm = false;  // grade as a direct part mark
    std::string html;  // the report page to write; empty for none
};

// The aperture --aperture and --dpi ask for, and how the result line names it: its diameter
// in mils when the resolution is known, else its share of the X dimension.
struct ApertureChoice {
    Aperture aperture;
    double mils = 0;  // 0 when not known
};

// Parses --aperture; a usage error names what is wrong.
ApertureChoice apertureChoice(const GradeOptions& opts) {
    auto usage = [](const std::string& why) {
        std::cerr << "grade: " << why << '\n';
        throw CLI::RuntimeError(2);
    };
    ApertureChoice choice;
    choice.aperture = defaultAperture(opts.dpm ? GradingMode::DirectPartMark : GradingMode::Print);
    std::string text = opts.aperture;
    if (text.empty()) {
        return choice;
    }
    const bool share = text.back() == 'x' || text.back() == 'X';
    if (share)
        text.pop_back();
    else if (text.size() > 3 && text.substr(text.size() - 3) == "mil")
        text.resize(text.size() - 3);
    size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !(value > 0))
        usage("--aperture takes a share of the X dimension (0.8x) or mils (5, 5mil), not '" +
              opts.aperture + "'");
    if (share) {
        if (value > 2)
            usage("--aperture " + opts.aperture + " is wider than two modules");
        choice.aperture.moduleShare = value;
        return choice;
    }
    if (opts.dpi <= 0)
        usage("--aperture in mils needs the pictures' resolution: add --dpi");
    if (value > 100)
        usage("--aperture " + opts.aperture + " is over 100 mils");
    choice.mils = value;
    choice.aperture.pixels = value / 1000 * opts.dpi;
    return choice;
}

// The overall result as the standard writes it: grade/aperture/light, e.g. 3.5/05/660; the
// aperture as its share of the X dimension when its size in mils is not known.
// The aperture's diameter in mils: as asked for, or from the pixels at the resolution; 0 when
// neither is known.
double apertureMils(const ApertureChoice& choice, const SymbolGrade& g, double dpi) {
    if (choice.mils > 0)
        return choice.mils;
    return dpi > 0 ? g.aperture / dpi * 1000 : 0;
}

std::string resultLine(double overall, const ApertureChoice& choice, const SymbolGrade& g,
                       const std::string& light, double dpi) {
    char text[64];
    const double mils = apertureMils(choice, g, dpi);
    const std::string wavelength = light == "red"     ? "660"
                                   : light == "green" ? "525"
                                   : light == "blue"  ? "470"
                                                      : "W";
    if (mils > 0)
        std::snprintf(text, sizeof text, "%.1f/%02.0f/%s", overall, mils, wavelength.c_str());
    else
        std::snprintf(text, sizeof text, "%.1f/%.2gX/%s", overall, choice.aperture.moduleShare,
                      wavelength.c_str());
    return text;
}

// The lights --light names, in the order of Light.
constexpr std::array<const char*, 4> kLightNames{"red", "green", "blue", "white"};

Light lightNamed(const std::string& name) {
    for (size_t i = 0; i < kLightNames.size(); ++i) {
        if (name == kLightNames[i])
            return static_cast<Light>(i);
    }
    return Light::Red;
}

// Below this many pixels per module the aperture and the edges are too coarse to trust.
constexpr double kFewestPixelsPerModule = 4;

constexpr const char* kIndicative =
    "Grades are indicative: reflectance is read as level / 255 (the channel of the light in a "
    "colour image) through a synthetic aperture of 0.8 module, without a verifier's calibrated "
    "lighting and optics.";

constexpr const char* kIndicativeMark =
    "Grades are indicative: the picture is exposed so that the mean of the light cells is 78 %, "
    "reflectance read as level / 255 (the channel of the light in a colour image) through a "
    "synthetic aperture, minimum reflectance against the picture's brightest area for want of a "
    "calibrated reference.";

// JSON member names of the parameters, in their order.
constexpr std::array<const char*, kParameterCount> kJsonNames{"decode",
                                                              "symbolContrast",
                                                              "modulation",
                                                              "reflectanceMargin",
                                                              "fixedPatternDamage",
                                                              "axialNonuniformity",
                                                              "gridNonuniformity",
                                                              "unusedErrorCorrection"};

// A direct part mark's names for the three slots it measures otherwise.
const char* jsonName(Parameter p, GradingMode mode) {
    if (mode == GradingMode::DirectPartMark) {
        if (p == Parameter::CellContrast)
            return "cellContrast";
        if (p == Parameter::CellModulation)
            return "cellModulation";
        if (p == Parameter::MinimumReflectance)
            return "minimumReflectance";
    }
    return kJsonNames[static_cast<size_t>(p)];
}

constexpr std::array<const char*, 5> kPatternNames{"L1", "L2", "QZL1", "QZL2", "clockTracks"};

// "A (4.0)"
std::string graded(double grade) {
    char text[16];
    std::snprintf(text, sizeof text, "%c (%.1f)", gradeLetter(grade), grade);
    return text;
}

// An aperture over fewer pixels than this reads single pixels' noise.
constexpr double kFewestAperturePixels = 2;

// What the reader of a grade should know beside it: a picture too coarse for a meaningful
// grade, an aperture of too few pixels, a quiet zone the picture does not hold.
std::vector<std::string> notesOn(const SymbolGrade& g) {
    std::vector<std::string> notes;
    char text[128];
    // (A coarse picture's note says as much already.)
    const bool coarse = g.moduleSize < kFewestPixelsPerModule - 0.05;
    if (g.aperture < kFewestAperturePixels && !coarse) {
        std::snprintf(text, sizeof text,
                      "the aperture spans %.1f pixels; under %.0f it reads the noise of single "
                      "pixels",
                      g.aperture, kFewestAperturePixels);
        notes.emplace_back(text);
    }
    if (coarse) {  // what prints as 4.0 is enough
        std::snprintf(text, sizeof text,
                      "%.1f pixels per module; a meaningful grade needs %.0f or more", g.moduleSize,
                      kFewestPixelsPerModule);
        notes.emplace_back(text);
    }
    if (g.quietZoneOffPicture > 0) {
        std::snprintf(text, sizeof text,
                      "the quiet zone runs off the picture: %d of its modules beside the finder "
                      "not measured",
                      g.quietZoneOffPicture);
        notes.emplace_back(text);
    }
    return notes;
}

// The decoded text that goes with a grade: once located, that of the grade's own reading, which
// decides status, meaning and ok too (a symbol the decoder did not read but the grading found and
// read has its text; one the grading does not read at its grid has none); else the decode's.
std::optional<std::string> gradedText(const SymbolGrade& g, const DecodeResult& r) {
    if (g.located)
        return g.decoded ? std::optional(messageText(g.text, g.eciSegments)) : std::nullopt;
    return r.decoded ? std::optional(displayText(r)) : std::nullopt;
}

void printText(const std::string& file, const SymbolGrade& g, bool named, const std::string& light,
               const std::string& result, const std::optional<std::string>& text) {
    if (named)
        std::cout << file << ": ";
    char line[160];
    std::snprintf(line, sizeof line,
                  "symbol %s, %.1f pixels per module, aperture %.1f pixels, %s light",
                  sizeName(g.sizeIndex).c_str(), g.moduleSize, g.aperture, light.c_str());
    std::cout << line << '\n';
    std::snprintf(line, sizeof line, "  %-25s ", "Decoded text");
    std::cout << line << (text ? *text : std::string("(none)")) << '\n';
    for (const ParameterGrade& p : g.parameters) {
        std::snprintf(line, sizeof line, "  %-25s %-12s %s\n",
                      std::string(parameterName(p.parameter, g.mode)).c_str(),
                      measuredText(p, g.mode).c_str(), p.measured ? graded(p.grade).c_str() : "-");
        std::cout << line;
    }
    std::snprintf(line, sizeof line, "  %-25s %-12s %s\n", "Overall grade", "",
                  graded(g.overall).c_str());
    std::cout << line;
    std::snprintf(line, sizeof line, "  %-25s %s\n", "Result (grade/aperture/light)",
                  result.c_str());
    std::cout << line;
    if (g.mode == GradingMode::DirectPartMark && g.located) {
        std::snprintf(
            line, sizeof line,
            "  exposure x%.2f: mean light %.0f %%, mean dark %.0f %% (minimum reflectance "
            "against the picture's brightest area, no calibrated reference)\n",
            g.exposure, 100 * g.meanLight, 100 * g.meanDark);
        std::cout << line;
    }
    if (g.gridFailure != GridFailure::None) {
        std::cout << "  grid not measured: " << gridFailureText(g.gridFailure) << '\n';
    } else {
        std::snprintf(
            line, sizeof line,
            "  print growth (informative): horizontal %+.3f, vertical %+.3f module per edge\n",
            g.printGrowthX, g.printGrowthY);
        std::cout << line;
    }
    for (const std::string& note : notesOn(g))
        std::cout << "  note: " << note << '\n';
}

// One schema for both modes: every member is there in each, those a mode does not measure null
// (a print's mean light and dark, its reflectance reference); the parameters keyed by the mode's
// names, each with its name as the text gives it.
Json gradeJson(const SymbolGrade& g, const std::string& light, const std::string& result,
               double mils) {
    Json j;
    const bool mark = g.mode == GradingMode::DirectPartMark;
    j["mode"] = mark ? "dpm" : "print";
    j["symbol"] = sizeName(g.sizeIndex);
    j["overall"] = g.overall;
    j["letter"] = std::string(1, gradeLetter(g.overall));
    j["result"] = result;
    j["moduleSize"] = g.moduleSize;
    j["aperture"] = g.aperture;
    j["apertureModules"] = g.moduleSize > 0 ? Json(g.aperture / g.moduleSize) : Json();
    j["apertureMils"] = mils > 0 ? Json(mils) : Json();
    j["light"] = light;
    j["maxReflectance"] = g.maxReflectance;
    j["minReflectance"] = g.minReflectance;
    j["globalThreshold"] = g.globalThreshold;
    j["lowestModulation"] = g.lowestModulation;
    j["lowestMargin"] = g.lowestMargin;
    j["exposure"] = g.exposure;
    j["meanLight"] = mark ? Json(g.meanLight) : Json();
    j["meanDark"] = mark ? Json(g.meanDark) : Json();
    j["reflectanceReference"] = mark ? Json("the picture's brightest area") : Json();
    const bool gridFailed = g.gridFailure != GridFailure::None;
    j["gridFailure"] = gridFailed ? Json(std::string(gridFailureText(g.gridFailure))) : Json();
    j["printGrowth"] =
        gridFailed ? Json() : Json{{"horizontal", g.printGrowthX}, {"vertical", g.printGrowthY}};
    j["notes"] = notesOn(g);
    Json parameters = Json::object();
    for (const ParameterGrade& p : g.parameters) {
        const std::string name(parameterName(p.parameter, g.mode));
        parameters[jsonName(p.parameter, g.mode)] =
            p.measured
                ? Json{{"value", p.value},
                       {"grade", p.grade},
                       {"letter", std::string(1, gradeLetter(p.grade))},
                       {"name", name}}
                : Json{{"value", nullptr}, {"grade", nullptr}, {"letter", nullptr}, {"name", name}};
    }
    j["parameters"] = std::move(parameters);
    Json blocks = Json::array();
    for (const BlockErrors& b : g.blocks)
        blocks.push_back({{"errors", b.errors}, {"capacity", b.capacity}});
    j["blocks"] = std::move(blocks);
    Json segments = Json::array();
    for (const PatternSegment& s : g.segments) {
        segments.push_back({{"pattern", kPatternNames[static_cast<size_t>(s.kind)]},
                            {"modules", s.modules.size()},
                            {"damaged", s.damaged.size()},
                            {"grade", s.grade}});
    }
    j["segments"] = std::move(segments);
    return j;
}

// The report file for the file'th of count images: the path as given for one image; for several,
// the image's name added to its stem (and a number when two images share a name).
std::string reportPath(const std::string& base, const std::string& image, size_t count,
                       std::set<std::string>& used) {
    if (count == 1)
        return base;
    const fs::path b(base);
    const std::string stem = b.stem().string() + "-" + fs::path(image).stem().string();
    std::string name = stem + b.extension().string();
    for (int n = 2; used.count(name) > 0; ++n)
        name = stem + "-" + std::to_string(n) + b.extension().string();
    used.insert(name);
    return (b.parent_path() / name).string();
}

// The report page's row of a graded file: passed when each symbol graded is ok as the exit
// status counts it; the status of the first symbol that is not.
ReportRow reportRow(const std::string& file, const GradedFile& graded,
                    std::span<const SymbolGrade> grades, bool all) {
    ReportRow row;
    row.name = file;
    if (graded.image)
        row.thumbnail = makeThumbnail(*graded.image);
    const FileOutcome& o = graded.file;
    if (!o.error.empty()) {
        row.status = "unread";
        row.statusLabel = "not run";
        row.meaning = "file unreadable, image refused, too small or blank";
        row.detail = o.error;
        return row;
    }
    row.milliseconds = o.milliseconds;
    const bool each = all && !o.symbols.empty();
    for (size_t i = 0; i < grades.size(); ++i) {
        const DecodeResult& r = each ? o.symbols[i] : o.result;
        if (const std::optional<std::string> text = gradedText(grades[i], r))
            row.decoded.push_back(*text);
        if (grades[i].located) {
            row.grades.push_back(grades[i].overall);
            row.outlines.push_back(grades[i].corners);
        } else if (r.corners) {
            row.outlines.push_back(*r.corners);
        }
    }
    const auto okAt = [&](size_t i) {
        const SymbolGrade& g = grades[i];
        return g.located && g.decoded && g.gridFailure == GridFailure::None;
    };
    size_t first = 0;
    while (first < grades.size() && okAt(first))
        ++first;
    row.passed = first == grades.size();
    if (row.passed) {
        row.status = "graded";
        row.statusLabel = "graded";
        row.meaning = "located, read and graded";
        return row;
    }
    const SymbolGrade& g = grades[first];
    const DecodeStatus status = g.located ? g.status : (each ? o.symbols[first] : o.result).status;
    if (g.located && g.gridFailure != GridFailure::None) {
        row.status = "grid";
        row.statusLabel = "grid not measured";
        row.meaning = "located, but its grid could not be measured";
        row.detail = gridFailureText(g.gridFailure);
    } else {
        row.status = std::string("s").append(std::to_string(toInt(status)));
        row.statusLabel = std::string("status ").append(std::to_string(toInt(status)));
        row.meaning = statusMeaning(status);
        row.detail = g.located ? "located and graded, but the grid read does not decode"
                               : "no symbol located";
    }
    if (grades.size() > 1)
        row.detail.append(" (symbol ").append(std::to_string(first + 1)).append(")");
    return row;
}

void run(const GradeOptions& opts) {
    if (opts.reportGiven && opts.report.empty()) {
        std::cerr << "grade: the --report file name is empty\n";
        throw CLI::RuntimeError(2);
    }
    // A name of another image type would belie the PNG bytes; other names are taken as given.
    const std::string ext = fileExtension(opts.report);
    const auto type = symbolFileType(opts.report);
    const bool otherImageType =
        ext != "png" && (!type || type == SymbolFileType::Svg || ext == "jpg" || ext == "jpeg" ||
                         ext == "jpe" || ext == "jfif");
    if (otherImageType) {
        std::cerr << "grade: the report is a PNG picture; name it .png, not ." << ext << '\n';
        throw CLI::RuntimeError(2);
    }
    const ApertureChoice aperture = apertureChoice(opts);
    int failures = 0;
    std::set<std::string> usedReports;
    const bool several = opts.files.size() > 1;
    bool anyGraded = false;
    // With --scans: each scan's overall grade, the first scan's grade and text.
    std::vector<double> scanGrades;
    std::optional<SymbolGrade> firstScan;
    std::string firstText;
    bool sameSymbol = true;
    HtmlReport report;
    // Several files on a terminal: a progress line below the results.
    ProgressLine progress(opts.files.size(), "files", several);
    for (const std::string& file : opts.files) {
        const GradedFile graded = gradeImageFile(
            file, lightNamed(opts.light),
            opts.all ? std::optional(kDefaultMostSymbols) : std::nullopt, aperture.aperture,
            opts.dpm ? GradingMode::DirectPartMark : GradingMode::Print);
        const ProgressStep step(progress);
        const FileOutcome& o = graded.file;
        const std::optional<RgbImage>& image = graded.image;
        // With --all each symbol read is graded on its own; else the one the decode located.
        const std::span<const SymbolGrade> grades = opts.all && !graded.grades.empty()
                                                        ? std::span(graded.grades)
                                                        : std::span(&graded.grade, 1);
        if (!opts.html.empty())
            report.rows.push_back(reportRow(file, graded, grades, opts.all));
        std::optional<std::string> written;
        if (grades.front().located && !opts.report.empty()) {
            const std::string path = reportPath(opts.report, file, opts.files.size(), usedReports);
            if (const std::error_code error = savePng(path, gradeReport(*image, grades)); !error) {
                written = path;
            } else {
                std::cerr << path << ": cannot write the report: "
                          << (error == std::errc::no_such_file_or_directory
                                  ? std::string("no such folder")
                                  : errorText(error.value()))
                          << '\n';
                ++failures;
            }
        }
        for (size_t index = 0; index < grades.size(); ++index) {
            const SymbolGrade& g = grades[index];
            const DecodeResult& r = opts.all && !o.symbols.empty() ? o.symbols[index] : o.result;
            // The grade's own reading decides, which follows the measured grid where the
            // decoder's may not.
            const bool ok = g.located && g.decoded && g.gridFailure == GridFailure::None;
            failures += !ok;
            const std::string result = resultLine(g.overall, aperture, g, opts.light, opts.dpi);
            const bool ran = o.error.empty();
            const std::optional<std::string> text = ran ? gradedText(g, r) : std::nullopt;
            if (opts.scans) {
                scanGrades.push_back(g.located ? g.overall : 0);
                if (!firstScan) {
                    firstScan = g;
                    firstText = text.value_or("");
                } else if (text && *text != firstText) {
                    sameSymbol = false;
                }
            }
            if (opts.json) {
                Json j;
                j["file"] = file;
                if (invalidUtf8Offset(file))
                    j["fileBytes"] = hexBytes(file);
                if (opts.all)
                    j["index"] = index + 1;
                j["ok"] = ok;
                // Once located, the grade's own reading decides status and meaning, as it
                // decides ok.
                const DecodeStatus status = g.located ? g.status : r.status;
                j["status"] = ran ? Json(toInt(status)) : Json(nullptr);
                j["meaning"] = ran ? std::string(statusMeaning(status)) : o.error;
                j["text"] = text ? Json(*text) : Json(nullptr);
                j["grade"] = g.located ? gradeJson(g, opts.light, result,
                                                   apertureMils(aperture, g, opts.dpi))
                                       : Json(nullptr);
                j["report"] = written ? Json(*written) : Json(nullptr);
                std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
                          << '\n';
                continue;
            }
            if (!o.error.empty()) {
                std::cerr << file << ": " << o.error << '\n';
            } else if (!g.located) {
                std::cerr << file << ": no symbol located (status " << toInt(r.status) << ": "
                          << statusMeaning(r.status) << ")\n";
            } else {
                const std::string name = opts.all ? file + " #" + std::to_string(index + 1) : file;
                printText(name, g, several || opts.all, opts.light, result, text);
                anyGraded = true;
            }
        }
    }
    progress.clear();
    if (opts.scans && !scanGrades.empty()) {
        // The symbol's grade is the mean of its scans' overall grades (a scan that located
        // nothing counts 0).
        double sum = 0;
        for (const double s : scanGrades)
            sum += s;
        const double mean = sum / static_cast<double>(scanGrades.size());
        const std::string result = resultLine(mean, aperture, *firstScan, opts.light, opts.dpi);
        if (opts.json) {
            Json j;
            j["scans"] = scanGrades.size();
            j["overall"] = mean;
            j["letter"] = std::string(1, gradeLetter(mean));
            j["result"] = result;
            j["scanGrades"] = scanGrades;
            j["sameSymbol"] = sameSymbol;
            std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        } else {
            std::cout << "Overall grade over " << scanGrades.size() << " scans: " << graded(mean)
                      << ", result " << result << '\n';
            if (!sameSymbol)
                std::cout << "note: the scans do not all hold the same message\n";
        }
    }
    if (anyGraded)
        std::cout << (opts.dpm ? kIndicativeMark : kIndicative) << '\n';
    std::cout.flush();
    if (!opts.html.empty()) {
        report.title = std::string("dmcodec grade: ")
                           .append(std::to_string(opts.files.size()))
                           .append(opts.files.size() == 1 ? " file" : " files");
        report.passedWord = "graded";
        report.timeNote = "decode time, file loading excluded";
        report.graded = true;
        report.notes.push_back((opts.dpm ? std::string("Graded as direct part marks")
                                         : std::string("Graded as prints"))
                                   .append(", ")
                                   .append(opts.light)
                                   .append(" light."));
        report.notes.emplace_back(opts.dpm ? kIndicativeMark : kIndicative);
        const std::string page = htmlReport(std::move(report));
        const std::error_code error = writeFileAtomically(
            opts.html, {reinterpret_cast<const uint8_t*>(page.data()), page.size()});
        if (error) {
            std::cerr << "grade: cannot write the report '" << opts.html << "': "
                      << (error == std::errc::no_such_file_or_directory
                              ? std::string("no such folder")
                              : errorText(error.value()))
                      << '\n';
            ++failures;
        }
    }
    if (failures > 0)
        throw CLI::RuntimeError(1);
}

}  // namespace

void addGradeCommand(CLI::App& app) {
    auto options = std::make_shared<GradeOptions>();
    CLI::App* cmd = app.add_subcommand(
        "grade",
        "Grade the print quality of the Data Matrix symbol in each JPEG, PNG or BMP file: "
        "decode, symbol contrast, modulation, reflectance margin, fixed pattern damage, axial "
        "and grid non-uniformity, unused error correction, each from A (4) to F (0), and the "
        "overall grade, the lowest. The symbol is located as decode locates it; one that does not "
        "decode is looked for by the grading, each outline the search samples read at the grid "
        "it measures until one decodes. Reflectance is "
        "read as level / 255 (colour in the --light, red by default) through a synthetic aperture "
        "of 0.8 module: a flat, evenly lit "
        "scan at 4 or more (better 8) pixels per module gives the most meaningful grade; a camera "
        "picture an indicative one. Exit status 0 only when every file's symbol was located and "
        "its grid "
        "read decodes (the Decode parameter passes), 1 otherwise, 2 for a usage error.\n" +
            decodingLimits());
    cmd->add_option("files", options->files, "Image files")->required();
    cmd->add_flag("--json", options->json,
                  "One JSON object per file, the same members for prints and marks (null where "
                  "a mode measures nothing): file (and fileBytes, its bytes in hex, when the "
                  "name is not UTF-8), ok, status and meaning (of the grade's own reading once "
                  "located), text (the text the grade's own reading decoded once located), grade "
                  "(mode, symbol, overall, letter, "
                  "result, moduleSize, aperture, apertureModules, apertureMils, light, "
                  "reflectances, exposure, meanLight, meanDark, gridFailure, printGrowth, notes, "
                  "parameters with value, grade, letter and name, blocks, segments) and report");
    cmd->add_flag("--all", options->all,
                  "Grade every symbol in each picture (as decode --all reads them), one block per "
                  "symbol (\"FILE #N: \") and, with --json, one object per symbol with its index "
                  "(from 1); --report draws them all in one picture");
    cmd->add_option("--aperture", options->aperture,
                    "The synthetic aperture: a share of the X dimension (0.8x, the default) or a "
                    "diameter in mils (5 or 5mil, which needs --dpi); a note warns when it spans "
                    "fewer than 2 pixels")
        ->type_name("SHAREx|MILS");
    cmd->add_option("--dpi", options->dpi,
                    "The pictures' resolution in pixels per inch: apertures in mils, and the "
                    "result line names the aperture in mils")
        ->check(CLI::Range(50.0, 20000.0));
    cmd->add_flag("--dpm", options->dpm,
                  "Grade as a direct part mark (dot-peen, laser, etched): cell contrast, cell "
                  "modulation, minimum reflectance, fixed pattern damage, axial and grid "
                  "non-uniformity, unused error correction and decode, on the picture exposed so "
                  "that the mean of the light cells is 78 %, through an aperture of half a module "
                  "unless --aperture says otherwise, the grid measured with the gaps between dots "
                  "closed");
    cmd->add_flag("--scans", options->scans,
                  "The files are scans of one symbol: each is graded and listed, then the "
                  "symbol's overall grade, the mean of the scans' (a scan without a symbol "
                  "counts 0), with its result line; a note when the scans hold different "
                  "messages");
    cmd->add_option("--light", options->light,
                    "The light reflectance is read in from a colour image: red (the default, the "
                    "660 nm of a verifier's light), green, blue, or white (the gray level); gray "
                    "images read the same in every light")
        ->check(CLI::IsMember(std::vector<std::string>(kLightNames.begin(), kLightNames.end())))
        ->type_name("red|green|blue|white");
    cmd->add_option("--report", options->report,
                    "Write a PNG picture of the graded symbol: the measured outline in green, "
                    "module centres in blue, modules graded F on modulation or reflectance "
                    "margin framed in red and D in orange, finder and quiet-zone segments below "
                    "A in magenta with their damaged modules framed, and a legend with every "
                    "parameter's value and grade below it; a mark is shown as exposed, levels of "
                    "low contrast stretched to black and white (the legend says so). With "
                    "several files, each "
                    "file's name is added to the picture's name. Written as encode writes its "
                    "files: whole or not at all, an earlier file kept on failure; names ending in "
                    "another image type (.jpg, .gif, ...) are refused")
        ->type_name("OUT.png");
    cmd->add_option("--html", options->html,
                    "Also write the results as one HTML page to look through: a summary with "
                    "the grade distribution, and per file a thumbnail with the measured outline, "
                    "decoded text, status, time and overall grade; failures first, a filter by "
                    "status (open it as REPORT.html#status=failed to see only the failures). "
                    "Self-contained (the pictures inside), written whole or not at all")
        ->type_name("REPORT.html");
    cmd->callback([cmd, options] {
        options->reportGiven = cmd->count("--report") > 0;
        if (cmd->count("--html") > 0) {
            if (const std::string why = htmlNameError(options->html); !why.empty()) {
                std::cerr << "grade: " << why << '\n';
                throw CLI::RuntimeError(2);
            }
        }
        run(*options);
    });
}

}  // namespace dm::tool
