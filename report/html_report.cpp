// SPDX-License-Identifier: MIT
#include "report/html_report.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

#include "report/jsonl_record.h"
#include "report/report_name.h"
#include "text/format_number.h"
#include "text/utf8.h"

namespace orvel {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD
constexpr std::string_view kDot = " \xC2\xB7 ";          // " · "

// The style keeps the summary, written last, above the table (flex order),
// so the page needs no script to read in the right order.
constexpr std::string_view kStyle = R"(<style>
:root{color-scheme:light dark;--fg:#1d1f23;--dim:#667085;--bg:#fff;--line:#d9dce1;--head:#eef0f3;--found:#b42318;--possible:#a15c07;--none:#027a48;--focus:#1d4ed8}
@media (prefers-color-scheme:dark){:root{--fg:#e6e7ea;--dim:#9aa0a9;--bg:#16181b;--line:#353a40;--head:#24272c;--found:#ff8a80;--possible:#ffc065;--none:#7dd3a0;--focus:#93b4ff}}
body{margin:0 auto;padding:1rem 1.5rem;max-width:120rem;font:14px/1.45 system-ui,sans-serif;color:var(--fg);background:var(--bg);display:flex;flex-direction:column}
h1{order:-2;font-size:1.4rem;margin:.2rem 0 .4rem}
#summary{order:-1}
h2{font-size:1.1rem;margin:.6rem 0 .3rem}
table{border-collapse:collapse}
th,td{text-align:left;vertical-align:top;padding:.2rem .5rem}
#counts th,#counts td{border-bottom:1px solid var(--line)}
#counts td{text-align:right;font-variant-numeric:tabular-nums}
#files,#files>thead{display:block}
#files>tbody{display:flex;flex-direction:column}
#files{margin-top:.4rem}
#files tr{display:grid;grid-template-columns:3.5em minmax(14em,1fr) 15em 14em repeat(4,8em) 6em;border-bottom:1px solid var(--line)}
#files.pics tr{grid-template-columns:3.5em minmax(14em,1fr) 15em 14em repeat(4,8em) 6em 11em}
#files>thead{position:sticky;top:0;background:var(--head);z-index:1}
#files>tbody>tr{content-visibility:auto;contain-intrinsic-size:auto 2.2em}
#files th{white-space:nowrap}
#files td,#files th{overflow-wrap:anywhere}
#files .k{text-align:right;font-variant-numeric:tabular-nums}
th button{font:inherit;font-weight:bold;color:inherit;background:none;border:0;padding:0;cursor:pointer}
th[aria-sort=ascending] button::after{content:" \25B2"}
th[aria-sort=descending] button::after{content:" \25BC"}
.d{color:var(--dim)}
.f{color:var(--found);font-weight:bold}
.p{color:var(--possible);font-weight:bold}
.n{color:var(--none)}
.i,.a{color:var(--dim)}
tr.x td{color:var(--found)}
summary{cursor:pointer}
.ev{margin:.3rem 0 .5rem 1.2rem;color:var(--fg)}
.ev h3{font-size:1em;margin:.5rem 0 0}
.ev p{margin:0}
pre{white-space:pre-wrap;font:inherit;margin:0;color:var(--dim)}
pre.m{margin-top:.2rem;font-variant-numeric:tabular-nums}
#controls{display:flex;flex-wrap:wrap;gap:.5rem 1.2rem;align-items:center;margin:.6rem 0 0}
input,select{font:inherit}
:focus-visible{outline:2px solid var(--focus);outline-offset:2px}
.pic summary{list-style:none}
.pic summary::-webkit-details-marker{display:none}
.pic img{display:block;width:10em;height:auto}
#files td.pic:has(details[open]){grid-column:1/-1}
.pic details[open] img{width:auto;max-width:100%}
.note{color:var(--dim);margin:.3rem 0}
</style>
)";

constexpr std::string_view kControls = R"(<div id="controls" hidden>
<label>Show <select id="verdict-filter">
<option value="">all files</option>
<option value="*f">evidence found in a check</option>
<option value="*fp">evidence found or possible in a check</option>
<option value="!fp">no finding</option>
<option value="x">failed files</option>
)";

// Sorts by a click on a header (again: the other way), filters by the
// verdict menu, the conclusion menu (by the conclusion cell's rank) and the text box. Sort keys are read from the cells once per
// column. A sort sets each row's flex order instead of moving the rows:
// moving thousands of rows with their evidence takes a browser minutes.
constexpr std::string_view kScript = R"(<script>
(function () {
"use strict";
var table = document.getElementById("files"), body = table.tBodies[0];
var rows = Array.prototype.slice.call(body.rows), heads = table.tHead.rows[0].cells;
var menu = document.getElementById("verdict-filter"), levels = document.getElementById("conclusion-filter"), box = document.getElementById("text-filter");
var shown = document.getElementById("shown"), keys = [], names = null, sorted = -1, descending = false;
var collator = new Intl.Collator(undefined, {numeric: true, sensitivity: "base"});
document.getElementById("controls").hidden = false;
Array.prototype.forEach.call(heads, function (head) {
  if (!head.dataset.t) return;
  var button = document.createElement("button");
  button.type = "button";
  while (head.firstChild) button.appendChild(head.firstChild);
  head.appendChild(button);
});
function label(cell) { var s = cell.querySelector("summary"); return (s || cell).textContent; }
function key(row, c) {
  var cell = row.cells[c], k = cell.getAttribute("data-k");
  if (heads[c].dataset.t === "n") return k === null ? Infinity : Number(k);
  return k === null ? label(cell) : k;
}
function sortBy(c) {
  descending = sorted === c ? !descending : false;
  sorted = c;
  if (!keys[c]) keys[c] = rows.map(function (row) { return key(row, c); });
  var k = keys[c], numeric = heads[c].dataset.t === "n";
  var order = rows.map(function (row, i) { return i; });
  order.sort(function (a, b) {
    var d = numeric ? (k[a] < k[b] ? -1 : k[a] > k[b] ? 1 : 0) : collator.compare(k[a], k[b]);
    return (descending ? -d : d) || a - b;
  });
  order.forEach(function (i, place) { rows[i].style.order = place; });
  Array.prototype.forEach.call(heads, function (head) { head.removeAttribute("aria-sort"); });
  heads[c].setAttribute("aria-sort", descending ? "descending" : "ascending");
}
table.tHead.addEventListener("click", function (event) {
  var head = event.target.closest("th");
  if (head && head.dataset.t) sortBy(head.cellIndex);
});
function matches(v, f) {
  if (!f) return true;
  if (f === "x") return v === "";
  var any = false;
  for (var i = 0; i < v.length; ++i) any = any || f.indexOf(v[i], 1) > 0;
  if (f[0] === "*") return any;
  if (f[0] === "!") return v !== "" && !any;
  return v[Number(f[0])] === f[1];
}
function filter() {
  var f = menu.value, c = levels.value, t = box.value.toLowerCase(), n = 0;
  if (t && !names) names = rows.map(function (row) { return label(row.cells[1]).toLowerCase(); });
  rows.forEach(function (row, i) {
    var show = matches(row.dataset.v, f) && (!c || row.cells[3].getAttribute("data-k") === c) &&
      (!t || names[i].indexOf(t) >= 0);
    row.hidden = !show;
    n += show ? 1 : 0;
  });
  shown.textContent = n === rows.length ? "" : n + " of " + rows.length + " files shown";
}
menu.addEventListener("change", filter);
levels.addEventListener("change", filter);
box.addEventListener("input", filter);
})();
</script>
)";

char verdictLetter(Verdict verdict)
{
    switch (verdict) {
    case Verdict::EvidenceFound: return 'f';
    case Verdict::Possible: return 'p';
    case Verdict::NoEvidence: return 'n';
    case Verdict::Inconclusive: return 'i';
    case Verdict::NotApplicable: return 'a';
    case Verdict::None: break;
    }
    return 'x';
}

// Sort rank: findings first, then what could not be judged, then the rest.
char verdictRank(Verdict verdict)
{
    switch (verdict) {
    case Verdict::EvidenceFound: return '0';
    case Verdict::Possible: return '1';
    case Verdict::Inconclusive: return '2';
    case Verdict::NoEvidence: return '3';
    case Verdict::NotApplicable: return '4';
    case Verdict::None: break;
    }
    return '9';
}

// A measured number as people read it: six significant digits, "." whatever the locale.
std::string readableNumber(double value)
{
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "not a number" : value > 0 ? "infinite" : "-infinite";
    }
    std::array<char, 48> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 6);
    return std::string(buffer.data(), result.ptr);
}

std::string kiloHertz(std::int32_t hertz)
{
    std::string text = formatNumber(static_cast<double>(hertz) / 1000.0, 3);
    while (text.back() == '0') {
        text.pop_back();
    }
    if (text.back() == '.') {
        text.pop_back();
    }
    return text;
}

std::string formatText(const FileReport& record)
{
    std::string text = record.codec;
    text += kDot;
    text += kiloHertz(record.sampleRate);
    text += " kHz";
    if (record.storedBits != 0) {
        text += kDot;
        text += std::to_string(record.storedBits);
        text += " bit";
    }
    text += kDot;
    text += std::to_string(record.channelCount);
    text += " ch";
    return text;
}

// One "key = value" line of a check's measurements; as lines of one text
// rather than table cells they keep a page of many files light.
void appendMeasurementLine(std::string& out, std::string_view key, std::string_view value)
{
    appendHtmlText(out, key);
    out += " = ";
    appendHtmlText(out, value);
    out += '\n';
}

void appendCheckDetails(std::string& out, const ReportCheck& check, const FileReport& record)
{
    const CheckResult& result = record.*(check.check);
    out += "<h3>";
    appendHtmlText(out, check.blockTitle);
    out += " / <span class=\"";
    out += verdictLetter(result.status);
    out += "\">";
    out += verdictText(result.status);
    out += "</span></h3>\n<p>";
    appendHtmlText(out, result.summary);
    out += "</p>\n";
    if (!result.evidence.empty()) {
        out += "<pre>";
        appendHtmlText(out, result.evidence);
        out += "</pre>\n";
    }
    std::string lines;
    for (const Measurement& measurement : result.measurements) {
        appendMeasurementLine(lines, measurement.key, readableNumber(measurement.value));
    }
    if (check.check == &FileReport::origin) {
        const OriginFacts& facts = record.originFacts;
        if (!facts.likelySource.empty()) {
            appendMeasurementLine(lines, "likely source", facts.likelySource);
        }
        if (!facts.trace.empty()) {
            appendMeasurementLine(lines, "trace", facts.trace);
        }
        for (const auto& [key, value] : facts.numbers) {
            appendMeasurementLine(lines, key, readableNumber(value));
        }
    }
    if (!lines.empty()) {
        lines.pop_back();
        out += "<pre class=\"m\">";
        out += lines;
        out += "</pre>\n";
    }
}

// The path with its folder dimmer, so same-named tracks of different albums differ at a glance.
void appendPath(std::string& out, const FileReport& record)
{
    const std::string name = reportName(record.file);
    const std::string shownName = reportName(record.file.filename());
    const std::size_t folderLength =
        !shownName.empty() && name.ends_with(shownName) ? name.size() - shownName.size() : 0;
    if (folderLength > 0) {
        out += "<span class=\"d\">";
        appendHtmlText(out, std::string_view(name).substr(0, folderLength));
        out += "</span>";
    }
    appendHtmlText(out, std::string_view(name).substr(folderLength));
}

} // namespace

void appendHtmlText(std::string& out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8At(text, i, cp);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        switch (cp) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\t':
        case '\n': out += static_cast<char>(cp); break;
        case '\r':
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i; // CR LF is one line end
            }
            break;
        default:
            if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
                out += kReplacement; // HTML has no place for control characters
            } else {
                out.append(text.substr(i, length));
            }
        }
        i += length;
    }
}

void HtmlSummary::add(const FileReport& record)
{
    ++files;
    conclusions.add(concludeFile(record));
    if (!record.error.empty()) {
        ++failed;
        return;
    }
    bool found = false;
    bool possible = false;
    for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
        const Verdict verdict = (record.*(kReportChecks[c].check)).status;
        found = found || verdict == Verdict::EvidenceFound;
        possible = possible || verdict == Verdict::Possible;
        for (std::size_t v = 0; v < kVerdicts.size(); ++v) {
            verdicts[c][v] += kVerdicts[v] == verdict ? 1 : 0;
        }
    }
    withEvidence += found ? 1 : 0;
    onlyPossible += !found && possible ? 1 : 0;
}

namespace {

// Findings first when sorted, in the order of how sure they are.
char conclusionRank(ConclusionLevel level)
{
    switch (level) {
    case ConclusionLevel::Likely: return '0';
    case ConclusionLevel::Possible: return '1';
    case ConclusionLevel::LossyInput: return '2';
    case ConclusionLevel::Inconclusive: return '3';
    case ConclusionLevel::None: return '4';
    case ConclusionLevel::Failed: return '5';
    }
    return '5';
}

// The tone classes the verdict cells use.
const char* conclusionClass(ConclusionLevel level)
{
    switch (level) {
    case ConclusionLevel::Likely:
    case ConclusionLevel::LossyInput: return "f";
    case ConclusionLevel::Possible: return "p";
    case ConclusionLevel::None: return "n";
    case ConclusionLevel::Inconclusive:
    case ConclusionLevel::Failed: return "i";
    }
    return "i";
}

void appendConclusionCell(std::string& out, const Conclusion& conclusion)
{
    out += "<td class=\"";
    out += conclusionClass(conclusion.level);
    out += "\" data-k=\"";
    out += conclusionRank(conclusion.level);
    out += "\">";
    appendHtmlText(out, conclusionText(conclusion));
    out += "</td>";
}

// The conclusion menu's entries, in the order of the column's ranks.
constexpr std::array<std::pair<ConclusionLevel, std::string_view>, 6> kConclusionChoices{{
    {ConclusionLevel::Likely, "Likely lossy source"},
    {ConclusionLevel::Possible, "Possible lossy source"},
    {ConclusionLevel::LossyInput, "Lossy file"},
    {ConclusionLevel::Inconclusive, "Too little content to judge"},
    {ConclusionLevel::None, "No trace found"},
    {ConclusionLevel::Failed, "Not analyzed"},
}};

} // namespace

std::string htmlReportOpening(bool withPictures)
{
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<title>Kestrone report</title>\n";
    out += kStyle;
    out += "</head>\n<body>\n<h1>Kestrone report</h1>\n";
    out += kControls;
    for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
        for (const Verdict verdict : kVerdicts) {
            out += "<option value=\"";
            out += std::to_string(c);
            out += verdictLetter(verdict);
            out += "\">";
            out += kReportChecks[c].title;
            out += ": ";
            out += verdictText(verdict);
            out += "</option>\n";
        }
    }
    // A row's conclusion is known by its cell's rank, so the rows carry nothing more for this menu.
    out += "</select></label>\n<label>Conclusion <select id=\"conclusion-filter\">\n<option value=\"\">any</option>\n";
    for (const auto& [level, text] : kConclusionChoices) {
        out += "<option value=\"";
        out += conclusionRank(level);
        out += "\">";
        out += text;
        out += "</option>\n";
    }
    out += "</select></label>\n<label>Path contains <input id=\"text-filter\" type=\"search\"></label>\n"
           "<span id=\"shown\" role=\"status\"></span>\n</div>\n"
           "<table id=\"files\" role=\"table\"";
    out += withPictures ? " class=\"pics\">\n" : ">\n";
    out += "<thead role=\"rowgroup\"><tr role=\"row\"><th role=\"columnheader\" data-t=\"n\">#</th>"
           "<th role=\"columnheader\" data-t=\"t\">File</th><th role=\"columnheader\" data-t=\"t\">Format</th>"
           "<th role=\"columnheader\" data-t=\"n\">Conclusion</th>";
    for (const ReportCheck& check : kReportChecks) {
        out += "<th role=\"columnheader\" data-t=\"t\">";
        out += check.title;
        out += "</th>";
    }
    out += "<th role=\"columnheader\" data-t=\"n\">Cutoff kHz</th>";
    if (withPictures) {
        out += "<th role=\"columnheader\">Spectrogram</th>";
    }
    out += "</tr></thead>\n<tbody role=\"rowgroup\">\n";
    return out;
}

void appendHtmlRow(std::string& out, const FileReport& record, std::size_t index, bool withPictures)
{
    const bool failed = !record.error.empty();
    out += failed ? "<tr role=\"row\" class=\"x\" data-v=\"\">" : "<tr role=\"row\" data-v=\"";
    if (!failed) {
        for (const ReportCheck& check : kReportChecks) {
            out += verdictLetter((record.*(check.check)).status);
        }
        out += "\">";
    }
    out += "<td class=\"k\">";
    out += std::to_string(index + 1);
    out += "</td><td><details><summary>";
    appendPath(out, record);
    out += "</summary>\n<div class=\"ev\">\n";
    if (failed) {
        out += "<h3>Analysis could not complete</h3>\n<p>";
        appendHtmlText(out, record.error);
        out += "</p>\n";
    } else {
        out += "<p>Analyzed ";
        out += formatNumber(record.analyzedSeconds, 2);
        out += " s of ";
        out += formatNumber(record.duration, 2);
        out += " s</p>\n";
        for (const ReportCheck& check : kReportChecks) {
            appendCheckDetails(out, check, record);
        }
    }
    out += "</div></details></td>";
    const Conclusion conclusion = concludeFile(record);
    if (failed) {
        out += "<td>Failed</td>";
        appendConclusionCell(out, conclusion);
        for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
            out += "<td data-k=\"9\"></td>";
        }
        out += "<td class=\"k\"></td>";
    } else {
        out += "<td>";
        appendHtmlText(out, formatText(record));
        out += "</td>";
        appendConclusionCell(out, conclusion);
        for (const ReportCheck& check : kReportChecks) {
            const Verdict verdict = (record.*(check.check)).status;
            out += "<td class=\"";
            out += verdictLetter(verdict);
            out += "\" data-k=\"";
            out += verdictRank(verdict);
            out += "\">";
            out += verdictText(verdict);
            out += "</td>";
        }
        if (record.originFacts.cutoffKhz) {
            const std::string cutoff = formatNumber(*record.originFacts.cutoffKhz, 1);
            out += "<td class=\"k\" data-k=\"" + cutoff + "\">" + cutoff + "</td>";
        } else {
            out += "<td class=\"k\"></td>"; // no edge measured; sorts after every edge
        }
    }
    if (withPictures) {
        out += "<td class=\"pic\">";
        if (!record.thumbnailPng.empty()) {
            out += "<details><summary><img alt=\"Spectrogram\" src=\"data:image/png;base64,";
            out += base64Encode(std::string_view(reinterpret_cast<const char*>(record.thumbnailPng.data()),
                                                 record.thumbnailPng.size()));
            out += "\"></summary></details>";
        } else if (!record.pictureError.empty()) {
            appendHtmlText(out, record.pictureError);
        }
        out += "</td>";
    }
    out += "</tr>\n";
}

std::string htmlReportClosing(const HtmlSummary& summary)
{
    const std::size_t analysed = summary.files - summary.failed;
    std::string out = "</tbody>\n</table>\n<section id=\"summary\" aria-labelledby=\"summary-title\">\n"
                      "<h2 id=\"summary-title\">Summary</h2>\n<p>";
    out += std::to_string(summary.files);
    out += summary.files == 1 ? " file" : " files";
    const std::pair<std::size_t, std::string_view> parts[] = {
        {summary.withEvidence, "with evidence found"},
        {summary.onlyPossible, "possible only"},
        {analysed - summary.withEvidence - summary.onlyPossible, "without findings"},
        {summary.failed, "failed"},
    };
    for (const auto& [count, text] : parts) {
        out += kDot;
        out += "<b>";
        out += std::to_string(count);
        out += "</b> ";
        out += text;
    }
    out += "</p>\n<ul id=\"conclusions\">\n";
    for (const std::string& kind : summary.conclusions.kinds()) {
        out += "<li>";
        appendHtmlText(out, kind);
        out += "</li>\n";
    }
    out += "</ul>\n<table id=\"counts\">\n<thead><tr><th>Check</th>";
    for (const Verdict verdict : kVerdicts) {
        out += "<th>";
        out += verdictText(verdict);
        out += "</th>";
    }
    out += "</tr></thead>\n<tbody>\n";
    for (std::size_t c = 0; c < kReportChecks.size(); ++c) {
        out += "<tr><th>";
        out += kReportChecks[c].title;
        out += "</th>";
        for (const std::size_t count : summary.verdicts[c]) {
            out += "<td>";
            out += std::to_string(count);
            out += "</td>";
        }
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n<p class=\"note\">Findings are clues, not proof. Open a file's row for the "
           "evidence and the measurements.</p>\n</section>\n";
    out += kScript;
    out += "</body>\n</html>\n";
    return out;
}

} // namespace orvel
