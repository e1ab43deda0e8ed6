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
#include "platform/gbk_text.h"
#include "platform/image_decoding.h"
#include "tools/commands.h"
#include "tools/grade_report.h"
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
};

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

// JSON member names of the parameters, in their order.
constexpr std::array<const char*, kParameterCount> kJsonNames{"decode",
                                                              "symbolContrast",
                                                              "modulation",
                                                              "reflectanceMargin",
                                                              "fixedPatternDamage",
                                                              "axialNonuniformity",
                                                              "gridNonuniformity",
                                                              "unusedErrorCorrection"};

constexpr std::array<const char*, 5> kPatternNames{"L1", "L2", "QZL1", "QZL2", "clockTracks"};

// "A (4.0)"
std::string graded(double grade) {
    char text[16];
    std::snprintf(text, sizeof text, "%c (%.1f)", gradeLetter(grade), grade);
    return text;
}

std::string measured(const ParameterGrade& p) {
    char text[32];
    if (!p.measured)
        return "not measured";
    switch (p.parameter) {
        case Parameter::Decode:
            return p.value > 0 ? "pass" : "fail";
        case Parameter::SymbolContrast:
        case Parameter::UnusedErrorCorrection:
            std::snprintf(text, sizeof text, "%.0f %%", 100 * p.value);
            return text;
        case Parameter::FixedPatternDamage:
            std::snprintf(text, sizeof text, "%.0f module%s", p.value, p.value == 1 ? "" : "s");
            return text;
        default:
            std::snprintf(text, sizeof text, "%.3f", p.value);
            return text;
    }
}

// What the reader of a grade should know beside it: a picture too coarse for a meaningful
// grade, a quiet zone the picture does not hold.
std::vector<std::string> notesOn(const SymbolGrade& g) {
    std::vector<std::string> notes;
    char text[128];
    if (g.moduleSize < kFewestPixelsPerModule - 0.05) {  // what prints as 4.0 is enough
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

void printText(const std::string& file, const SymbolGrade& g, bool named,
               const std::string& light) {
    if (named)
        std::cout << file << ": ";
    char line[160];
    std::snprintf(line, sizeof line,
                  "symbol %s, %.1f pixels per module, aperture %.1f pixels, %s light",
                  sizeName(g.sizeIndex).c_str(), g.moduleSize, g.aperture, light.c_str());
    std::cout << line << '\n';
    for (const ParameterGrade& p : g.parameters) {
        std::snprintf(line, sizeof line, "  %-25s %-12s %s\n",
                      std::string(parameterName(p.parameter)).c_str(), measured(p).c_str(),
                      p.measured ? graded(p.grade).c_str() : "-");
        std::cout << line;
    }
    std::snprintf(line, sizeof line, "  %-25s %-12s %s\n", "Overall grade", "",
                  graded(g.overall).c_str());
    std::cout << line;
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

Json gradeJson(const SymbolGrade& g, const std::string& light) {
    Json j;
    j["symbol"] = sizeName(g.sizeIndex);
    j["overall"] = g.overall;
    j["letter"] = std::string(1, gradeLetter(g.overall));
    j["moduleSize"] = g.moduleSize;
    j["aperture"] = g.aperture;
    j["maxReflectance"] = g.maxReflectance;
    j["minReflectance"] = g.minReflectance;
    j["globalThreshold"] = g.globalThreshold;
    j["light"] = light;
    j["lowestModulation"] = g.lowestModulation;
    j["lowestMargin"] = g.lowestMargin;
    const bool gridFailed = g.gridFailure != GridFailure::None;
    j["gridFailure"] = gridFailed ? Json(std::string(gridFailureText(g.gridFailure))) : Json();
    j["printGrowth"] =
        gridFailed ? Json() : Json{{"horizontal", g.printGrowthX}, {"vertical", g.printGrowthY}};
    j["notes"] = notesOn(g);
    Json parameters = Json::object();
    for (const ParameterGrade& p : g.parameters) {
        parameters[kJsonNames[static_cast<size_t>(p.parameter)]] =
            p.measured ? Json{{"value", p.value},
                              {"grade", p.grade},
                              {"letter", std::string(1, gradeLetter(p.grade))}}
                       : Json{{"value", nullptr}, {"grade", nullptr}, {"letter", nullptr}};
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
    int failures = 0;
    std::set<std::string> usedReports;
    const bool several = opts.files.size() > 1;
    bool anyGraded = false;
    // Several files on a terminal: a progress line below the results.
    ProgressLine progress(opts.files.size(), "files", several);
    for (const std::string& file : opts.files) {
        const GradedFile graded =
            gradeImageFile(file, lightNamed(opts.light),
                           opts.all ? std::optional(kDefaultMostSymbols) : std::nullopt);
        const ProgressStep step(progress);
        const FileOutcome& o = graded.file;
        const std::optional<RgbImage>& image = graded.image;
        // With --all each symbol read is graded on its own; else the one the decode located.
        const std::span<const SymbolGrade> grades = opts.all && !graded.grades.empty()
                                                        ? std::span(graded.grades)
                                                        : std::span(&graded.grade, 1);
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
                const bool ran = o.error.empty();
                const DecodeStatus status = g.located ? g.status : r.status;
                j["status"] = ran ? Json(toInt(status)) : Json(nullptr);
                j["meaning"] = ran ? std::string(statusMeaning(status)) : o.error;
                j["text"] = ran && r.decoded ? Json(displayText(r)) : Json(nullptr);
                j["grade"] = g.located ? gradeJson(g, opts.light) : Json(nullptr);
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
                printText(name, g, several || opts.all, opts.light);
                anyGraded = true;
            }
        }
    }
    progress.clear();
    if (anyGraded)
        std::cout << kIndicative << '\n';
    std::cout.flush();
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
        "overall grade, the lowest. The symbol is located as decode locates it. Reflectance is "
        "read as level / 255 (colour in the --light, red by default) through a synthetic aperture "
        "of 0.8 module: a flat, evenly lit "
        "scan at 4 or more (better 8) pixels per module gives the most meaningful grade; a camera "
        "picture an indicative one. Exit status 0 only when every file's symbol was located and "
        "its grid "
        "read decodes (the Decode parameter passes), 1 otherwise, 2 for a usage error.\n" +
            decodingLimits());
    cmd->add_option("files", options->files, "Image files")->required();
    cmd->add_flag("--json", options->json,
                  "One JSON object per file: file (and fileBytes, its bytes in hex, when the "
                  "name is not UTF-8), ok, status and meaning (of the grade's own reading once "
                  "located), text (the decoded text), grade (symbol, overall, gridFailure, notes, "
                  "letter, moduleSize, aperture, reflectances, printGrowth (horizontal and "
                  "vertical), parameters with value, grade and "
                  "letter, blocks, segments) and report");
    cmd->add_flag("--all", options->all,
                  "Grade every symbol in each picture (as decode --all reads them), one block per "
                  "symbol (\"FILE #N: \") and, with --json, one object per symbol with its index "
                  "(from 1); --report draws them all in one picture");
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
                    "A in magenta with their damaged modules framed. With several files, each "
                    "file's name is added to the picture's name. Written as encode writes its "
                    "files: whole or not at all, an earlier file kept on failure; names ending in "
                    "another image type (.jpg, .gif, ...) are refused")
        ->type_name("OUT.png");
    cmd->callback([cmd, options] {
        options->reportGiven = cmd->count("--report") > 0;
        run(*options);
    });
}

}  // namespace dm::tool
