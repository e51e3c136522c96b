// SPDX-License-Identifier: MIT
#include "report/summary_text.h"
#include "report/text_report.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "text/utf8.h"
#include "tests/support/locale_guard.h"
#include "tests/support/reports.h"

namespace orvel {
namespace {

const std::string kDot = "\u00B7";
const std::string kHyphens(40, '-');

FileReport flacRecord()
{
    FileReport r = testing::analysedRecord("/music/song.flac");
    r.duration = 183.456;
    r.upscaling = {orvel::Verdict::NoEvidence, "up summary", "up evidence"};
    r.upsampling = {orvel::Verdict::Possible, "bandwidth summary", "line 1\r\nline 2\r\nline 3"};
    r.aacSin = {orvel::Verdict::Inconclusive, "aac summary", "aac evidence"};
    r.origin = {orvel::Verdict::EvidenceFound, "origin summary", "origin 1\r\norigin 2"};
    r.originFacts.cutoffKhz = 16.7; // shown only in the evidence the check wrote
    r.spectrumDb = {0.0, -120.0};
    return r;
}

FileReport failedRecord() { return testing::failedRecord("/music/b.txt", "Unsupported format."); }

class SummaryTextTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        m_locale = std::make_unique<testing::LocaleGuard>(GetParam());
        if (!m_locale->ok()) {
            GTEST_SKIP() << "locale " << GetParam() << " is not installed (package locales-all)";
        }
    }
    void TearDown() override { m_locale.reset(); }

private:
    std::unique_ptr<testing::LocaleGuard> m_locale;
};

TEST_P(SummaryTextTest, ErrorRecordIsThreeLinesAndNothingElse)
{
    FileReport r = flacRecord(); // facts that must not show once there is an error
    r.error = "Truncated FLAC stream.";
    EXPECT_EQ(buildSummaryText(r), "Analysis could not complete\r\n\r\nTruncated FLAC stream.");
}

TEST_P(SummaryTextTest, FactsLinesOfA44kHzSixteenBitStereoFile)
{
    const std::string conclusion = "CONCLUSION / Likely lossy source (lowpass at 16.7 kHz, like MP3 128 kb/s)\r\n";
    const std::string expected = conclusion + "FLAC  " + kDot + "  44.100 kHz  " + kDot + "  16 bit  " + kDot +
                                  "  2 ch\r\n"
                                  "Analyzed 30.00 s of 183.46 s\r\n"
                                  "\r\n"
                                  "UPSCALING / No evidence\r\nup summary\r\nup evidence\r\n\r\n"
                                  "UPSAMPLING / Possible\r\nbandwidth summary\r\nline 1\r\nline 2\r\nline 3\r\n\r\n"
                                  "AAC-SIN " + kDot + " EXPERIMENTAL / Inconclusive\r\naac summary\r\naac evidence\r\n\r\n"
                                  "ORIGIN / Evidence found\r\norigin summary\r\norigin 1\r\norigin 2\r\n\r\n";
    EXPECT_EQ(buildSummaryText(flacRecord()), expected);
    // The window's form explains the conclusion before the facts.
    const std::string explained = buildSummaryText(flacRecord(), true);
    const std::string why = explained.substr(conclusion.size(), explained.find("\r\n\r\nFLAC") - conclusion.size());
    EXPECT_TRUE(why.starts_with("The sound stops sharply at 16.7 kHz")) << why;
    EXPECT_EQ(why.find("\r\n"), std::string::npos) << why;
    EXPECT_EQ(explained, conclusion + why + "\r\n\r\n" + expected.substr(conclusion.size()));
}

TEST_P(SummaryTextTest, ZeroStoredBitsIsUnknownPrecision)
{
    FileReport r = flacRecord();
    r.codec = "MP3";
    r.storedBits = 0;
    r.sampleRate = 8000;
    const std::string text = buildSummaryText(r);
    const std::size_t facts = text.find("\r\n") + 2;
    EXPECT_EQ(text.substr(facts, text.find("\r\n", facts) - facts),
              "MP3  " + kDot + "  8.000 kHz  " + kDot + "  unknown precision  " + kDot + "  2 ch");
}

TEST_P(SummaryTextTest, EmptyFieldsRenderEmptyAndNumbersAreNeverGrouped)
{
    FileReport r;
    r.sampleRate = 1234567;
    r.storedBits = 24;
    r.channelCount = -12345;
    r.duration = 1234567.891;
    r.analyzedSeconds = 0.005;
    const std::string text = buildSummaryText(r);
    EXPECT_EQ(text, "CONCLUSION / Too little content to judge\r\n"
                    "  " + kDot + "  1234.567 kHz  " + kDot + "  24 bit  " + kDot + "  -12345 ch\r\n"
                    "Analyzed 0.01 s of 1234567.89 s\r\n\r\n"
                    "UPSCALING / \r\n\r\n\r\n\r\n"
                    "UPSAMPLING / \r\n\r\n\r\n\r\n"
                    "AAC-SIN " + kDot + " EXPERIMENTAL / \r\n\r\n\r\n\r\n"
                    "ORIGIN / \r\n\r\n\r\n\r\n");
}

TEST_P(SummaryTextTest, TextReportHasByteOrderMarkAndOneSectionPerRecord)
{
    EXPECT_EQ(buildTextReport({}), "\xEF\xBB\xBF");

    const FileReport ok = flacRecord();
    const FileReport failed = failedRecord();
    const std::string report = buildTextReport({ok, failed});
    const std::string expected = std::string("\xEF\xBB\xBF") + "/music/song.flac\r\n" + buildSummaryText(ok) +
                                 "\r\n" + kHyphens + "\r\n" +
                                 "/music/b.txt\r\nAnalysis could not complete\r\n\r\n"
                                 "Unsupported format.\r\n" + kHyphens + "\r\n";
    EXPECT_EQ(report, expected);
    // A finished file shows two empty lines before its separator; a failed one none.
    EXPECT_NE(report.find("origin 2\r\n\r\n\r\n" + kHyphens + "\r\n/music/b.txt"), std::string::npos);
    EXPECT_NE(report.find("format.\r\n" + kHyphens + "\r\n"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 42), kHyphens + "\r\n");
}

TEST_P(SummaryTextTest, TextReportWritesNamesAsUtf8)
{
    FileReport r = failedRecord();
    r.file = "/m\u00fcsic/" + std::string(1, static_cast<char>(0xDCE9)) + ".wav";
    const std::string report = buildTextReport({r});
    // The stray byte shows as U+FFFD and its value, so it differs from any other byte.
    const std::string start = "\xEF\xBB\xBF/m\xC3\xBCsic/\xEF\xBF\xBD\\xE9.wav\r\nAnalysis could not complete\r\n";
    EXPECT_EQ(report.substr(0, start.size()), start);
    EXPECT_NE(buildTextReport({flacRecord()}).find("AAC-SIN \xC2\xB7 EXPERIMENTAL / "), std::string::npos);
}

std::string localeName(const ::testing::TestParamInfo<const char*>& param)
{
    return std::string(param.param) == "C" ? "Classic" : "GermanComma";
}

INSTANTIATE_TEST_SUITE_P(Locales, SummaryTextTest, ::testing::Values("C", "de_DE.UTF-8"), localeName);

} // namespace
} // namespace orvel
