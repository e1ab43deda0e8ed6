#include "tools/html_report.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

#include "grading/print_quality.h"
#include "platform/gbk_text.h"

namespace dm::tool {
namespace {

std::string base64(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t v = uint32_t{bytes[i]} << 16 | (left > 1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (left > 2 ? bytes[i + 2] : 0);
        out += kDigits[v >> 18 & 63];
        out += kDigits[v >> 12 & 63];
        out += left > 1 ? kDigits[v >> 6 & 63] : '=';
        out += left > 2 ? kDigits[v & 63] : '=';
    }
    return out;
}

// A number for SVG and data attributes: short, with a dot whatever the locale.
std::string number(double v, int decimals = 1) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// The filter's keys are made by the commands; anything else is dropped so that a key can sit in
// an attribute and a URL fragment unescaped.
std::string safeKey(const std::string& key) {
    std::string out;
    for (const char c : key) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
            out += c;
    }
    return out.empty() ? std::string("other") : out;
}

// Displayed no larger than this (CSS pixels); small pictures are enlarged up to it, 8 times at
// most, their pixels kept sharp.
constexpr double kShownSide = 160;

// The thumbnail in an inline SVG whose coordinates are the full image's pixels, so that the
// outlines are drawn where the decoder located them.
std::string pictureCell(const ReportRow& row) {
    const Thumbnail& t = row.thumbnail;
    if (t.bytes.empty() || t.imageWidth <= 0 || t.imageHeight <= 0)
        return "<td class=\"picture none\">no picture</td>";
    const double scale = std::min(8.0, kShownSide / std::max(t.imageWidth, t.imageHeight));
    std::string out = "<td class=\"picture\"><svg viewBox=\"0 0 ";
    out.append(std::to_string(t.imageWidth)).append(" ").append(std::to_string(t.imageHeight));
    out.append("\" width=\"").append(number(t.imageWidth * scale, 0));
    out.append("\" height=\"").append(number(t.imageHeight * scale, 0));
    out.append("\"><image width=\"").append(std::to_string(t.imageWidth));
    out.append("\" height=\"").append(std::to_string(t.imageHeight));
    out.append("\" preserveAspectRatio=\"none\" href=\"data:").append(t.mediaType);
    out.append(";base64,").append(base64(t.bytes)).append("\"/>");
    for (const SymbolCorners& corners : row.outlines) {
        out.append("<polygon class=\"outline\" vector-effect=\"non-scaling-stroke\" points=\"");
        for (const ImagePoint& p : corners)
            out.append(number(p.x)).append(",").append(number(p.y)).append(" ");
        out.back() = '"';
        // The top-left corner marked: where the symbol's reading starts, mirrored or turned.
        out.append("/><circle class=\"corner\" r=\"")
            .append(number(std::max(t.imageWidth, t.imageHeight) / 60.0 + 0.5))
            .append("\" cx=\"")
            .append(number(corners[0].x))
            .append("\" cy=\"")
            .append(number(corners[0].y))
            .append("\"/>");
    }
    out.append("</svg></td>");
    return out;
}

char letterOf(double grade) {
    return gradeLetter(grade);
}

std::string gradeCell(const ReportRow& row) {
    if (row.grades.empty())
        return "<td class=\"grade\">&ndash;</td>";
    std::string out = "<td class=\"grade\">";
    for (const double g : row.grades) {
        const char letter = letterOf(g);
        out.append("<span class=\"letter g").append(1, letter).append("\">").append(1, letter);
        out.append(" <small>").append(number(g)).append("</small></span> ");
    }
    out.back() = '<';
    out.append("/td>");
    return out;
}

std::string textCell(const char* cls, const std::vector<std::string>& texts) {
    std::string out = "<td class=\"";
    out.append(cls).append("\">");
    for (const std::string& t : texts)
        out.append("<div class=\"text\">").append(htmlText(t)).append("</div>");
    return out.append("</td>");
}

std::string rowHtml(const ReportRow& row, const HtmlReport& report) {
    std::string out = "<tr data-status=\"";
    out.append(safeKey(row.status)).append("\" data-passed=\"");
    out.append(row.passed ? "true" : "false").append("\" class=\"");
    out.append(row.passed ? "pass" : "fail").append("\">");
    out.append(pictureCell(row));
    out.append("<td class=\"name\">").append(htmlText(row.name)).append("</td>");
    out.append("<td class=\"status\"><span class=\"badge\">")
        .append(htmlText(row.statusLabel))
        .append("</span><div class=\"meaning\">")
        .append(htmlText(row.meaning))
        .append("</div>");
    if (!row.detail.empty())
        out.append("<div class=\"detail\">").append(htmlText(row.detail)).append("</div>");
    out.append("</td>");
    if (report.expected) {
        if (row.expected)
            out.append(textCell("expected", {*row.expected}));
        else
            out.append("<td class=\"expected\"></td>");
    }
    out.append(textCell("decoded", row.decoded));
    out.append("<td class=\"time\">");
    if (row.milliseconds)
        out.append(number(*row.milliseconds, 2)).append(" ms");
    out.append("</td>");
    if (report.graded)
        out.append(gradeCell(row));
    return out.append("</tr>\n");
}

// Grade letters in chart order; '-' for rows without a grade.
constexpr std::array<char, 6> kGradeOrder{'A', 'B', 'C', 'D', 'F', '-'};

// The grade distribution as a bar chart: one bar per letter, its count above it.
std::string gradeChart(const std::vector<ReportRow>& rows) {
    std::map<char, int> counts;
    for (const ReportRow& row : rows) {
        if (row.grades.empty())
            ++counts['-'];
        for (const double g : row.grades)
            ++counts[letterOf(g)];
    }
    int most = 1;
    for (const auto& [letter, count] : counts)
        most = std::max(most, count);
    constexpr double kBarWidth = 36;
    constexpr double kGap = 12;
    constexpr double kHeight = 100;
    std::string out =
        "<figure class=\"chart\"><figcaption>Grades</figcaption><svg id=\"grades\" "
        "viewBox=\"0 0 ";
    out.append(number(kGradeOrder.size() * (kBarWidth + kGap) + kGap, 0))
        .append(" ")
        .append(number(kHeight + 40, 0))
        .append("\" width=\"")
        .append(number(kGradeOrder.size() * (kBarWidth + kGap) + kGap, 0))
        .append("\" height=\"")
        .append(number(kHeight + 40, 0))
        .append("\" role=\"img\" aria-label=\"grade distribution\">");
    for (size_t i = 0; i < kGradeOrder.size(); ++i) {
        const char letter = kGradeOrder[i];
        const int count = counts[letter];
        const double h = kHeight * count / most;
        const double x = kGap + static_cast<double>(i) * (kBarWidth + kGap);
        const std::string cls = letter == '-' ? "none" : std::string(1, letter);
        out.append("<g class=\"bar g").append(cls).append("\" data-grade=\"").append(1, letter);
        out.append("\" data-count=\"").append(std::to_string(count)).append("\">");
        out.append("<rect x=\"").append(number(x, 0)).append("\" y=\"");
        out.append(number(20 + kHeight - h)).append("\" width=\"").append(number(kBarWidth, 0));
        out.append("\" height=\"").append(number(h)).append("\"/>");
        out.append("<text class=\"count\" x=\"")
            .append(number(x + kBarWidth / 2))
            .append("\" y=\"");
        out.append(number(16 + kHeight - h)).append("\">").append(std::to_string(count));
        out.append("</text><text x=\"").append(number(x + kBarWidth / 2)).append("\" y=\"");
        out.append(number(kHeight + 36, 0)).append("\">");
        out.append(letter == '-' ? std::string("none") : std::string(1, letter));
        out.append("</text></g>");
    }
    return out.append("</svg></figure>");
}

constexpr const char* kStyle = R"(
:root { color-scheme: light; --pass: #1a7f37; --fail: #c62828; --line: #d8dde3; }
body { font: 14px/1.4 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", sans-serif;
       margin: 24px; color: #1f2328; background: #f6f8fa; }
h1 { font-size: 20px; margin: 0 0 16px; word-break: break-all; }
#summary { display: flex; flex-wrap: wrap; gap: 24px; align-items: flex-start; background: #fff;
           border: 1px solid var(--line); border-radius: 8px; padding: 16px; margin-bottom: 16px; }
.rate strong { font-size: 32px; display: block; }
.rate.all-passed strong { color: var(--pass); }
.rate.some-failed strong { color: var(--fail); }
table.counts { border-collapse: collapse; }
table.counts td { padding: 2px 8px; }
table.counts td.count { text-align: right; font-variant-numeric: tabular-nums; }
table.counts tr.fail a { color: var(--fail); }
table.counts tr.pass a { color: var(--pass); }
.notes { color: #57606a; margin: 0; padding-left: 18px; }
figure.chart { margin: 0; }
figure.chart figcaption { font-weight: 600; }
#grades text { font-size: 12px; text-anchor: middle; fill: #1f2328; }
.bar rect, .letter { fill: #8c959f; }
.gA rect { fill: #1a7f37; } .gB rect { fill: #4c9f38; } .gC rect { fill: #d4a72c; }
.gD rect { fill: #e16f24; } .gF rect { fill: #c62828; }
nav { margin: 0 0 8px; }
#shown { color: #57606a; margin-left: 8px; }
table#rows { border-collapse: collapse; width: 100%; background: #fff;
             border: 1px solid var(--line); }
#rows th { text-align: left; background: #eaeef2; padding: 6px 8px; position: sticky; top: 0; }
#rows td { padding: 6px 8px; border-top: 1px solid var(--line); vertical-align: top; }
#rows tr.fail td:first-child { box-shadow: inset 4px 0 var(--fail); }
#rows tr.pass td:first-child { box-shadow: inset 4px 0 var(--pass); }
td.picture svg { display: block; background: #fff; }
td.picture image { image-rendering: pixelated; }
td.picture.none { color: #8c959f; font-style: italic; width: 160px; }
.outline { fill: none; stroke-width: 2px; }
tr.pass .outline { stroke: #00c853; } tr.fail .outline { stroke: #ff6d00; }
tr.pass .corner { fill: #00c853; } tr.fail .corner { fill: #ff6d00; }
td.name { word-break: break-all; max-width: 220px; }
.badge { display: inline-block; padding: 0 8px; border-radius: 10px; color: #fff;
         font-weight: 600; white-space: nowrap; }
tr.pass .badge { background: var(--pass); } tr.fail .badge { background: var(--fail); }
.meaning { color: #57606a; font-size: 12px; margin-top: 2px; }
.detail { font-size: 12px; margin-top: 2px; max-width: 280px; word-break: break-word; }
.text { white-space: pre-wrap; word-break: break-all; font-family: ui-monospace, monospace;
        max-height: 9.6em; overflow: auto;
        max-width: 320px; }
.text + .text { border-top: 1px dashed var(--line); }
.esc { color: #8250df; background: #f3eefc; border-radius: 3px; }
td.time { white-space: nowrap; text-align: right; font-variant-numeric: tabular-nums; }
.letter { font-weight: 700; white-space: nowrap; }
.letter.gA { color: #1a7f37; } .letter.gB { color: #4c9f38; } .letter.gC { color: #9a6700; }
.letter.gD { color: #bc4c00; } .letter.gF { color: #c62828; }
.letter small { font-weight: 400; color: #57606a; }
)";

// Hides the rows the filter does not choose. The filter comes from the select or from the
// page's fragment (#status=KEY, or #status=failed for every failure), so a link can open the
// report filtered; the counts it shows are kept in data- attributes of #report.
constexpr const char* kScript = R"(
(function () {
  const report = document.getElementById('report');
  const select = document.getElementById('filter');
  const rows = Array.from(document.querySelectorAll('#rows tbody tr'));
  const shown = document.getElementById('shown');
  function apply(value) {
    let visible = 0;
    for (const row of rows) {
      const show = value === 'all' ||
          (value === 'failed' ? row.dataset.passed === 'false' : row.dataset.status === value);
      row.hidden = !show;
      if (show) visible++;
    }
    report.dataset.filter = value;
    report.dataset.visible = visible;
    shown.textContent = visible + ' of ' + rows.length + ' shown';
  }
  function fromFragment() {
    const match = /^#status=([A-Za-z0-9-]+)$/.exec(location.hash);
    const value = match ? match[1] : 'all';
    const known = Array.from(select.options).some(function (o) { return o.value === value; });
    select.value = known ? value : 'all';
    apply(select.value);
  }
  select.addEventListener('change', function () {
    location.hash = select.value === 'all' ? '' : 'status=' + select.value;
  });
  window.addEventListener('hashchange', fromFragment);
  report.dataset.rows = rows.length;
  fromFragment();
})();
)";

struct StatusCount {
    std::string label;
    std::string meaning;
    bool passed = false;
    int count = 0;
};

}  // namespace

Thumbnail makeThumbnail(const RgbImage& image, int largestSide) {
    Thumbnail t;
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() < static_cast<size_t>(image.width) * image.height * 3)
        return t;
    t.imageWidth = image.width;
    t.imageHeight = image.height;
    const int side = std::max(image.width, image.height);
    RgbImage small;
    const RgbImage* shown = &image;
    if (side > largestSide) {
        small.width = std::max(1, static_cast<int>(std::lround(static_cast<double>(image.width) *
                                                               largestSide / side)));
        small.height = std::max(1, static_cast<int>(std::lround(static_cast<double>(image.height) *
                                                                largestSide / side)));
        small.rgb.resize(static_cast<size_t>(small.width) * small.height * 3);
        // Each thumbnail pixel the mean of the image's pixels it covers, whole pixels.
        for (int y = 0; y < small.height; ++y) {
            const int64_t y0 = int64_t{y} * image.height / small.height;
            const int64_t y1 = std::max(y0 + 1, int64_t{y + 1} * image.height / small.height);
            for (int x = 0; x < small.width; ++x) {
                const int64_t x0 = int64_t{x} * image.width / small.width;
                const int64_t x1 = std::max(x0 + 1, int64_t{x + 1} * image.width / small.width);
                std::array<uint64_t, 3> sum{};
                for (int64_t sy = y0; sy < y1; ++sy) {
                    const uint8_t* p = image.rgb.data() + (sy * image.width + x0) * 3;
                    for (int64_t sx = x0; sx < x1; ++sx, p += 3) {
                        sum[0] += p[0];
                        sum[1] += p[1];
                        sum[2] += p[2];
                    }
                }
                const uint64_t n = static_cast<uint64_t>((y1 - y0) * (x1 - x0));
                uint8_t* q = small.rgb.data() + (static_cast<size_t>(y) * small.width + x) * 3;
                for (size_t c = 0; c < 3; ++c)
                    q[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
            }
        }
        shown = &small;
    }
    std::vector<uint8_t> png = encodePng(*shown);
    std::vector<uint8_t> jpeg = encodeJpeg(*shown, 85);
    if (!jpeg.empty() && (png.empty() || jpeg.size() < png.size())) {
        t.mediaType = "image/jpeg";
        t.bytes = std::move(jpeg);
    } else if (!png.empty()) {
        t.mediaType = "image/png";
        t.bytes = std::move(png);
    }
    return t;
}

std::string htmlNameError(const std::string& path) {
    if (path.empty())
        return "the --html file name is empty";
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "html" || ext == "htm")
        return {};
    std::string why = "the --html report is an HTML page; name it .html or .htm";
    if (name.empty())
        return why.append(", not a folder ('").append(path).append("')");
    if (ext.empty())
        return why.append(" ('").append(path).append("' has no extension)");
    return why.append(", not .").append(ext);
}

std::string htmlText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    char hex[48];
    while (!bytes.empty()) {
        const size_t n = utf8SequenceLength(bytes);
        const auto c = static_cast<unsigned char>(bytes[0]);
        if (n == 0 || (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "<span class=\"esc\">\\x%02X</span>", c);
            out += hex;
            bytes.remove_prefix(1);
            continue;
        }
        switch (c) {
            case '\n':  // kept as a line break, marked so that a trailing one shows
                out += "<span class=\"esc\">\u21B5</span>\n";
                break;
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.append(bytes.substr(0, n));
        }
        bytes.remove_prefix(n);
    }
    return out;
}

std::string htmlReport(HtmlReport report) {
    std::vector<ReportRow>& rows = report.rows;
    std::stable_partition(rows.begin(), rows.end(), [](const ReportRow& r) { return !r.passed; });
    int passed = 0;
    std::map<std::string, StatusCount> statuses;
    for (const ReportRow& row : rows) {
        passed += row.passed;
        StatusCount& s = statuses[safeKey(row.status)];
        if (s.count++ == 0)
            s = {row.statusLabel, row.meaning, row.passed, 1};
    }
    // Failing statuses first, as the rows.
    std::vector<std::pair<std::string, StatusCount>> order(statuses.begin(), statuses.end());
    std::stable_partition(order.begin(), order.end(),
                          [](const auto& s) { return !s.second.passed; });
    const int total = static_cast<int>(rows.size());
    const double rate = total > 0 ? 100.0 * passed / total : 0;

    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>";
    out.append(htmlText(report.title)).append("</title><style>").append(kStyle);
    out.append("</style></head>\n<body><main id=\"report\" data-total=\"");
    out.append(std::to_string(total)).append("\" data-passed=\"").append(std::to_string(passed));
    out.append("\"><h1>").append(htmlText(report.title)).append("</h1>\n");

    out.append("<section id=\"summary\" data-total=\"").append(std::to_string(total));
    out.append("\" data-passed=\"").append(std::to_string(passed));
    out.append("\" data-rate=\"").append(number(rate)).append("\"><div class=\"rate ");
    out.append(passed == total ? "all-passed" : "some-failed").append("\"><strong>");
    out.append(number(rate)).append(" %</strong>").append(htmlText(report.passedWord));
    out.append(": ").append(std::to_string(passed)).append(" of ").append(std::to_string(total));
    out.append(total == 1 ? " picture" : " pictures").append("</div>");
    out.append("<table class=\"counts\"><tbody>");
    for (const auto& [key, s] : order) {
        out.append("<tr class=\"").append(s.passed ? "pass" : "fail");
        out.append("\" data-status=\"").append(key).append("\" data-count=\"");
        out.append(std::to_string(s.count)).append("\"><td><a href=\"#status=").append(key);
        out.append("\">").append(htmlText(s.label)).append("</a></td><td class=\"count\">");
        out.append(std::to_string(s.count)).append("</td><td>");
        out.append(htmlText(s.meaning));
        out.append("</td></tr>");
    }
    out.append("</tbody></table>");
    if (report.graded)
        out.append(gradeChart(rows));
    if (!report.notes.empty()) {
        out.append("<ul class=\"notes\">");
        for (const std::string& note : report.notes)
            out.append("<li>").append(htmlText(note)).append("</li>");
        out.append("</ul>");
    }
    out.append("</section>\n");

    out.append("<nav><label>Show <select id=\"filter\"><option value=\"all\">all (");
    out.append(std::to_string(total)).append(")</option>");
    out.append("<option value=\"failed\">every failure (");
    out.append(std::to_string(total - passed)).append(")</option>");
    for (const auto& [key, s] : order) {
        out.append("<option value=\"").append(key).append("\">").append(htmlText(s.label));
        out.append(" (").append(std::to_string(s.count)).append(")</option>");
    }
    out.append("</select></label><span id=\"shown\"></span></nav>\n");

    out.append("<table id=\"rows\"><thead><tr><th>Picture</th><th>File</th><th>Status</th>");
    if (report.expected)
        out.append("<th>Expected</th>");
    out.append("<th>Decoded</th><th title=\"").append(htmlText(report.timeNote));
    out.append("\">Time</th>").append(report.graded ? "<th>Grade</th>" : "");
    out.append("</tr></thead><tbody>\n");
    for (const ReportRow& row : rows)
        out.append(rowHtml(row, report));
    out.append("</tbody></table></main>\n<script>").append(kScript);
    out.append("</script></body></html>\n");
    return out;
}

}  // namespace dm::tool
