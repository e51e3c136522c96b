// SPDX-License-Identifier: MIT
#include "report/html_report.h"

#include <gtest/gtest.h>

#include <string>

#include "report/report_format.h"
#include "tests/support/reports.h"

namespace orvel {
namespace {

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

struct HostileName {
    const char* name;  // the file name, bytes as on disk
    const char* shown; // how the page's source must carry it
};

class HtmlReportNameTest : public ::testing::TestWithParam<HostileName> {};

TEST_P(HtmlReportNameTest, ANameOrTagNeverAddsMarkupAndReadsAsTheOtherReportsShowIt)
{
    FileReport record = testing::analysedRecord(std::string("/music/") + GetParam().name);
    record.upscaling.evidence = std::string("tag: ") + GetParam().name; // a tag quoted in a message
    FileReport failed = testing::failedRecord(std::string("/music/x/") + GetParam().name,
                                              std::string("Cannot open ") + GetParam().name);
    const std::string page = buildReport(ReportFormat::Html, {record, failed});

    EXPECT_EQ(count(page, std::string(GetParam().shown) + "</summary>"), 2u) << page.substr(page.find("<tbody"), 600);
    EXPECT_EQ(page.find(GetParam().name), std::string::npos);
    EXPECT_EQ(count(page, "<script"), 1u);
    EXPECT_EQ(count(page, "<i>"), 0u);
    EXPECT_EQ(count(page, "<tr role=\"row\" "), 2u);
    for (const char byte : page) {
        const auto value = static_cast<unsigned char>(byte);
        EXPECT_TRUE(value >= 0x20 || byte == '\n') << "control byte " << int(value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, HtmlReportNameTest,
    ::testing::Values(HostileName{"<script>alert(1)<!--.flac", "&lt;script&gt;alert(1)&lt;!--.flac"},
                    HostileName{"a&b <i>.flac", "a&amp;b &lt;i&gt;.flac"},
                    HostileName{"say \"hi\" it's.flac", "say &quot;hi&quot; it&#39;s.flac"},
                    HostileName{"bell\x07\x1b[31m.flac", "bell\xEF\xBF\xBD\\x07\xEF\xBF\xBD\\x1B[31m.flac"},
                    HostileName{"caf\xE9.flac", "caf\xEF\xBF\xBD\\xE9.flac"}));

TEST(HtmlReportTest, TheSummaryCountsEveryRecordAndEachCheckVerdict)
{
    FileReport found = testing::analysedRecord("/a/found.flac");
    found.origin.status = Verdict::EvidenceFound;
    const FileReport possible = testing::analysedRecord("/a/possible.flac"); // upsampling and origin: possible
    FileReport clean = testing::analysedRecord("/a/clean.flac");
    clean.upsampling.status = Verdict::NoEvidence;
    clean.origin.status = Verdict::NotApplicable;
    const std::string page =
        buildReport(ReportFormat::Html, {found, possible, clean, testing::failedRecord("/a/bad.flac", "Truncated")});

    EXPECT_NE(page.find("<p>4 files \xC2\xB7 <b>1</b> with evidence found \xC2\xB7 <b>1</b> possible only \xC2\xB7 "
                        "<b>1</b> without findings \xC2\xB7 <b>1</b> failed</p>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><th>ORIGIN</th><td>1</td><td>1</td><td>0</td><td>0</td><td>1</td></tr>"),
              std::string::npos);
    EXPECT_NE(page.find("<tr role=\"row\" data-v=\"npip\">"), std::string::npos) << "the filter's letters, one per check";
    EXPECT_NE(page.find("<td class=\"k\" data-k=\"16.7\">16.7</td>"), std::string::npos);
    EXPECT_NE(page.find("<pre class=\"m\">likely source = like MP3 128 kb/s\ntrace = lowpass\nlowpass_khz = 16.7</pre>"),
              std::string::npos);
    // Each row's answer and the library's, counted once per file.
    EXPECT_NE(page.find("<td class=\"i\" data-k=\"5\">Not analyzed: Truncated</td>"), std::string::npos);
    EXPECT_NE(page.find("<td class=\"f\" data-k=\"2\">Lossy file (FLAC)</td>"), std::string::npos)
        << "ORIGIN not applicable: a lossy input";
    EXPECT_NE(page.find("<li>1 not analyzed</li>"), std::string::npos);
    EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n")) << "no byte-order mark";
    EXPECT_EQ(page.find("src=\"http"), std::string::npos);
    EXPECT_EQ(page.find("href="), std::string::npos) << "nothing outside the page";
}

} // namespace
} // namespace orvel
