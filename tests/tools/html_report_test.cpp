#include "tools/html_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/image_files.h"
#include "tests/support/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using dm::test::shellQuote;

const fs::path kSampleDir = fs::path(DM_SOURCE_DIR) / ".." / "shared" / "samples" / "clean";
constexpr int kSampleCount = 29;

bool chromiumInstalled() {
    return std::system("command -v chromium >/dev/null 2>&1") == 0;
}

// Runs headless Chromium on the page with its arguments (--dump-dom, --screenshot=...), its
// own profile in folder; standard output, i.e. the DOM after the page's script ran.
std::string chromium(const fs::path& folder, const std::string& arguments, const fs::path& page,
                     const std::string& fragment = "") {
    std::string command =
        "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage "
        "--no-first-run --user-data-dir=";
    command.append(shellQuote((folder / "chromium-profile").string()))
        .append(" ")
        .append(arguments)
        .append(" ")
        .append(shellQuote("file://" + page.string() + fragment))
        .append(" 2>/dev/null");
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 65536> buffer;
        for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
            out.append(buffer.data(), n);
        ::pclose(pipe);
    }
    return out;
}

// A row of the page's table as the DOM holds it.
struct Row {
    std::string status;
    bool passed = false;
    bool hidden = false;
    std::string name;  // as HTML
};

std::vector<Row> rowsOf(const std::string& dom) {
    std::vector<Row> rows;
    const size_t body = dom.find("<tbody>", dom.find("id=\"rows\""));
    static const std::regex row(
        R"re(<tr data-status="([^"]*)" data-passed="(true|false)"[^>]*?( hidden="")?>[\s\S]*?<td class="name">([\s\S]*?)</td>)re");
    for (std::sregex_iterator it(dom.begin() + static_cast<ptrdiff_t>(body), dom.end(), row), end;
         it != end; ++it)
        rows.push_back({(*it)[1], (*it)[2] == "true", (*it)[3].matched, (*it)[4]});
    return rows;
}

// The summary's count of each status.
std::map<std::string, int> summaryCounts(const std::string& dom) {
    std::map<std::string, int> counts;
    static const std::regex count(R"re(data-status="([^"]*)" data-count="(\d+)")re");
    for (std::sregex_iterator it(dom.begin(), dom.end(), count), end; it != end; ++it)
        counts[(*it)[1]] = std::stoi((*it)[2]);
    return counts;
}

// The value of a data- attribute on the report's <main>, as the script left it.
std::string reportData(const std::string& dom, const std::string& name) {
    const std::regex attribute("<main id=\"report\"[^>]*? data-" + name + "=\"([^\"]*)\"");
    std::smatch m;
    return std::regex_search(dom, m, attribute) ? std::string(m[1]) : std::string("(none)");
}

int occurrences(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

int visible(const std::vector<Row>& rows) {
    int n = 0;
    for (const Row& r : rows)
        n += !r.hidden;
    return n;
}

// Nothing is fetched: every src and href is a data: URI or a link within the page.
void expectSelfContained(const std::string& html) {
    static const std::regex external(R"re((src|href)="(?!data:|#))re");
    EXPECT_FALSE(std::regex_search(html, external));
    EXPECT_EQ(html.find("<link"), std::string::npos);
}

class HtmlReport : public dm::test::ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        if (!chromiumInstalled())
            GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it): the report "
                            "is not opened";
    }
    std::string dom(const std::string& page, const std::string& fragment = "") const {
        return chromium(dir_, "--dump-dom", dir_ / page, fragment);
    }
};

TEST_F(HtmlReport, EvalOfTheSampleFolderShowsEveryPictureAndTheSummary) {
    if (!fs::is_directory(kSampleDir))
        GTEST_SKIP() << "no sample images at " << kSampleDir;
    const auto r = run(std::string("eval --jobs 2 ")
                           .append(shellQuote(kSampleDir.string()))
                           .append(" --html report.html"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<uint8_t> html = dm::test::readFile(dir_ / "report.html");
    expectSelfContained(std::string(html.begin(), html.end()));
    const std::string page = dom("report.html");
    const std::vector<Row> rows = rowsOf(page);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kSampleCount)) << page.substr(0, 2000);
    EXPECT_EQ(reportData(page, "rows"), std::to_string(kSampleCount));
    EXPECT_EQ(reportData(page, "visible"), std::to_string(kSampleCount));
    EXPECT_EQ(summaryCounts(page), (std::map<std::string, int>{{"match", kSampleCount}}));
    EXPECT_NE(page.find("data-rate=\"100.0\""), std::string::npos);
    for (const auto& entry : fs::directory_iterator(kSampleDir)) {
        if (entry.path().extension() == ".png") {
            EXPECT_NE(
                page.find(
                    std::string(">").append(entry.path().filename().string()).append("</td>")),
                std::string::npos)
                << entry.path();
        }
    }
    // Each picture embedded, each read symbol outlined on it.
    EXPECT_EQ(occurrences(page, "<image "), kSampleCount);
    EXPECT_EQ(occurrences(page, "href=\"data:image/"), kSampleCount);
    EXPECT_GE(occurrences(page, "<polygon class=\"outline\""), kSampleCount);
    // No failures: the failure filter shows none.
    EXPECT_EQ(visible(rowsOf(dom("report.html", "#status=failed"))), 0);

    // The screenshot is a picture of the page.
    chromium(dir_,
             std::string("--hide-scrollbars --window-size=1280,1000 --screenshot=")
                 .append(shellQuote((dir_ / "report.png").string())),
             dir_ / "report.html");
    std::string error;
    const auto shot = dm::loadImage((dir_ / "report.png").string(), error);
    ASSERT_TRUE(shot) << error;
    EXPECT_EQ(shot->width, 1280);
    EXPECT_EQ(shot->height, 1000);
}

// A folder of every kind of row: matched, a wrong text (named and expected with markup and a
// byte that is not UTF-8), a picture without a symbol, a file that is no image.
TEST_F(HtmlReport, EvalPutsFailuresFirstAndFiltersByStatus) {
    if (!fs::is_directory(kSampleDir))
        GTEST_SKIP() << "no sample images at " << kSampleDir;
    const fs::path folder = dir_ / "pictures";
    fs::create_directory(folder);
    for (const char* name : {"0123456789", "C40", "EDIFACT"}) {
        fs::copy_file(kSampleDir / (std::string(name) + ".png"),
                      folder / (std::string(name) + ".png"));
        fs::copy_file(kSampleDir / (std::string(name) + ".txt"),
                      folder / (std::string(name) + ".txt"));
    }
    fs::copy_file(kSampleDir / "X12.png", folder / "w<i>rong.png");
    std::ofstream(folder / "w<i>rong.txt", std::ios::binary) << "<b>not this</b>\xFF";
    std::ofstream(folder / "broken.png", std::ios::binary) << "no picture";
    std::ofstream(folder / "broken.txt") << "x";
    ASSERT_FALSE(dm::savePng((folder / "blank.png").string(),
                             {120, 90, std::vector<uint8_t>(120 * 90 * 3, 255)}));
    std::ofstream(folder / "blank.txt") << "nothing";

    const auto r = run("eval --jobs 2 pictures --html report.htm");
    EXPECT_EQ(r.exitCode, 1) << r.err;  // not all matched: the report is written all the same
    const std::string page = dom("report.htm");
    const std::vector<Row> rows = rowsOf(page);
    ASSERT_EQ(rows.size(), 6u) << page.substr(0, 3000);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].passed, i >= 3) << i << " " << rows[i].name;
    std::map<std::string, int> statuses;
    for (const Row& row : rows)
        ++statuses[row.status];
    EXPECT_EQ(summaryCounts(page), statuses);
    EXPECT_EQ(statuses["match"], 3);
    EXPECT_EQ(statuses["mismatch"], 1);
    EXPECT_EQ(statuses["unread"], 1);
    EXPECT_NE(page.find("data-passed=\"3\""), std::string::npos);
    EXPECT_NE(page.find("data-rate=\"50.0\""), std::string::npos);
    // Markup in names and texts is text; the stray byte is shown as such.
    EXPECT_NE(page.find("<td class=\"name\">w&lt;i&gt;rong.png</td>"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;not this&lt;/b&gt;<span class=\"esc\">\\xFF</span>"),
              std::string::npos);
    EXPECT_EQ(page.find("<i>rong"), std::string::npos);

    const std::vector<Row> failed = rowsOf(dom("report.htm", "#status=failed"));
    ASSERT_EQ(failed.size(), 6u);
    for (const Row& row : failed)
        EXPECT_EQ(row.hidden, row.passed) << row.name;
    const std::string mismatchPage = dom("report.htm", "#status=mismatch");
    EXPECT_EQ(reportData(mismatchPage, "filter"), "mismatch");
    EXPECT_EQ(reportData(mismatchPage, "visible"), "1");
    for (const Row& row : rowsOf(mismatchPage))
        EXPECT_EQ(row.hidden, row.status != "mismatch") << row.name;
}

TEST_F(HtmlReport, GradeShowsTheGradesAndTheirDistribution) {
    if (!fs::is_directory(kSampleDir))
        GTEST_SKIP() << "no sample images at " << kSampleDir;
    std::ofstream(dir_ / "broken.png") << "no picture";
    std::string files;
    for (const char* name : {"HelloWorld_Text_L_Kaywa.png",
                             "HelloWorld_Text_L_Kaywa_4_error_byte.png", "distorted.png"})
        files.append(" ").append(shellQuote((kSampleDir / name).string()));
    const auto r = run("grade --json" + files + " broken.png --html grades.HTML");
    EXPECT_EQ(r.exitCode, 1) << r.err;  // the broken file
    // The letters grade --json gives, and the files it could not grade.
    std::map<std::string, int> letters;
    static const std::regex letter(R"re("overall":[0-9.]+,"letter":"([A-F])")re");
    for (std::sregex_iterator it(r.out.begin(), r.out.end(), letter), end; it != end; ++it)
        ++letters[(*it)[1]];
    ASSERT_FALSE(letters.empty()) << r.out;

    const std::string page = dom("grades.HTML");
    const std::vector<Row> rows = rowsOf(page);
    ASSERT_EQ(rows.size(), 4u) << page.substr(0, 3000);
    EXPECT_FALSE(rows[0].passed);
    EXPECT_EQ(rows[0].status, "unread");
    EXPECT_EQ(rows[0].name, "broken.png");
    std::map<std::string, int> chart;
    static const std::regex bar(R"re(data-grade="(.)" data-count="(\d+)")re");
    for (std::sregex_iterator it(page.begin(), page.end(), bar), end; it != end; ++it) {
        if (const int n = std::stoi((*it)[2]); n > 0)
            chart[(*it)[1]] = n;
    }
    letters["-"] = 1;  // the broken file
    EXPECT_EQ(chart, letters);
    const std::vector<Row> graded = rowsOf(dom("grades.HTML", "#status=graded"));
    EXPECT_EQ(visible(graded), 3);
}

// Without Chromium: the names --html takes, and a report that cannot be written.
using HtmlReportName = dm::test::ToolTest;

TEST_F(HtmlReportName, OnlyHtmlNamesAreTakenAndWriteFailuresAreReported) {
    std::ofstream(dir_ / "a.png") << "x";
    const struct {
        const char* name;
        const char* message;
    } refused[] = {
        {"report.png", "name it .html or .htm, not .png"},
        {"report", "'report' has no extension"},
        {".html", "'.html' has no extension"},
        {"out/", "not a folder ('out/')"},
        {"''", "the --html file name is empty"},
    };
    for (const auto& c : refused) {
        for (const char* command : {"grade a.png", "eval ."}) {
            const auto r = run(std::string(command) + " --html " + c.name);
            EXPECT_EQ(r.exitCode, 2) << command << " " << c.name;
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
        }
    }
    // Written last: a folder that is not there fails the command, with a message.
    const auto grade = run("grade a.png --html missing/r.html");
    EXPECT_EQ(grade.exitCode, 1);
    EXPECT_NE(grade.err.find("grade: cannot write the report 'missing/r.html': no such folder"),
              std::string::npos)
        << grade.err;
    fs::create_directory(dir_ / "set");
    fs::copy_file(dir_ / "a.png", dir_ / "set" / "a.png");
    std::ofstream(dir_ / "set" / "a.txt") << "x";
    const auto eval = run("eval set --html missing/r.html");
    EXPECT_EQ(eval.exitCode, 1);
    EXPECT_NE(eval.err.find("eval: cannot write the report 'missing/r.html': no such folder"),
              std::string::npos)
        << eval.err;
}

TEST(HtmlText, EscapesMarkupAndShowsBytesThatAreNotTextAsCodes) {
    const struct {
        std::string bytes;
        std::string html;
    } cases[] = {
        {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&#39;"},
        {"中文 é ✓ 😀", "中文 é ✓ 😀"},
        {"two\nlines\tand tab\n",
         "two<span class=\"esc\">\u21B5</span>\nlines\tand tab<span class=\"esc\">\u21B5</span>\n"},
        {"GS1\x1D"
         "01",
         "GS1<span class=\"esc\">\\x1D</span>01"},
        {std::string("nul\0!", 5), "nul<span class=\"esc\">\\x00</span>!"},
        {"\x7F", "<span class=\"esc\">\\x7F</span>"},
        {"\xFF\xFE", "<span class=\"esc\">\\xFF</span><span class=\"esc\">\\xFE</span>"},
        {"\xC0\xAF",
         "<span class=\"esc\">\\xC0</span><span class=\"esc\">\\xAF</span>"},  // overlong
        {"\xED\xA0\x80",
         "<span class=\"esc\">\\xED</span><span class=\"esc\">\\xA0</span>"
         "<span class=\"esc\">\\x80</span>"},  // surrogate
        {"\xE4\xB8",
         "<span class=\"esc\">\\xE4</span><span class=\"esc\">\\xB8</span>"},  // cut short
        {"\xF4\x90\x80\x80x",
         "<span class=\"esc\">\\xF4</span><span class=\"esc\">\\x90</span>"
         "<span class=\"esc\">\\x80</span><span class=\"esc\">\\x80</span>x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dm::tool::htmlText(c.bytes), c.html) << c.bytes;
}

TEST(Thumbnail, ScalesDownByAreaAndKeepsTheImageSize) {
    // Left half black, right half white, 1000 x 400.
    dm::RgbImage image{1000, 400, std::vector<uint8_t>(1000 * 400 * 3, 255)};
    for (int y = 0; y < image.height; ++y)
        std::fill_n(image.rgb.begin() + static_cast<ptrdiff_t>(y) * 3000, 1500, 0);
    const dm::tool::Thumbnail t = dm::tool::makeThumbnail(image);
    EXPECT_EQ(t.imageWidth, 1000);
    EXPECT_EQ(t.imageHeight, 400);
    const fs::path file = fs::temp_directory_path() / "dm_thumbnail_test.img";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(t.bytes.data()),
               static_cast<std::streamsize>(t.bytes.size()));
    std::string error;
    const auto back = dm::loadImage(file.string(), error);
    fs::remove(file);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->width, dm::tool::kThumbnailSide);
    EXPECT_EQ(back->height, 64);
    EXPECT_LT(back->rgb[3 * (32 * 160 + 40)], 30);
    EXPECT_GT(back->rgb[3 * (32 * 160 + 120)], 225);
    EXPECT_EQ(t.mediaType, t.bytes[0] == 0x89 ? "image/png" : "image/jpeg");

    // A small picture is kept as it is; nothing to show gives nothing.
    const dm::RgbImage small{20, 30, std::vector<uint8_t>(20 * 30 * 3, 128)};
    const dm::tool::Thumbnail kept = dm::tool::makeThumbnail(small);
    EXPECT_EQ(kept.imageWidth, 20);
    EXPECT_FALSE(kept.bytes.empty());
    EXPECT_TRUE(dm::tool::makeThumbnail(dm::RgbImage{}).bytes.empty());
}

}  // namespace
