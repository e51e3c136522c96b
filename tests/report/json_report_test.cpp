// SPDX-License-Identifier: MIT
#include "report/json_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/locale_guard.h"
#include "tests/support/reports.h"

namespace orvel {
namespace {

const std::string kOpening =
    "{\"tool\":\"Kestrone 0.2\",\"scope\":\"First 30 seconds (24-million-sample cap); all channels for "
    "precision, first two for spectral/AAC checks.\",\"reports\":[";

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return lines;
        }
        start = end + 1;
    }
}

using testing::analysedRecord;

// The value text of `key` in a one-record document: from after "key": to the next , or }.
std::string memberText(const std::string& document, const std::string& key)
{
    const std::string marker = "\"" + key + "\":";
    const std::size_t at = document.find(marker);
    if (at == std::string::npos) {
        return "<missing>";
    }
    const std::size_t start = at + marker.size();
    const std::size_t end = document.find_first_of(",}", start);
    return document.substr(start, end - start);
}

// The text between "SpectrumDb":[ and the closing ].
std::string spectrumText(const std::vector<double>& values)
{
    FileReport r;
    r.spectrumDb = values;
    const std::string document = buildJsonReport({r});
    const std::string marker = "\"SpectrumDb\":[";
    const std::size_t start = document.find(marker) + marker.size();
    return document.substr(start, document.find(']', start) - start);
}

// Every case runs in the classic locale and again under a comma-decimal one:
// the document must not change by a byte.
class JsonReportTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        m_locale = std::make_unique<testing::LocaleGuard>(GetParam());
        if (!m_locale->ok()) {
            GTEST_SKIP() << "locale " << GetParam() << " is not installed (package locales-all)";
        }
        if (std::string(GetParam()) != "C") {
            // Make sure the locale really uses a decimal comma, or the run proves nothing.
            char probe[16];
            std::snprintf(probe, sizeof probe, "%g", 1.5);
            ASSERT_STREQ(probe, "1,5");
        }
    }
    void TearDown() override { m_locale.reset(); }

private:
    std::unique_ptr<testing::LocaleGuard> m_locale;
};

TEST_P(JsonReportTest, EmptyListIsTheOpeningTextALineFeedAndTheClosingBrackets)
{
    EXPECT_EQ(buildJsonReport({}), kOpening + "\n]}");
}

TEST_P(JsonReportTest, ThreeRecordsFillFiveLines)
{
    const std::string document = buildJsonReport({analysedRecord(), analysedRecord(), analysedRecord()});
    const std::vector<std::string> lines = splitLines(document);
    ASSERT_EQ(lines.size(), 5U);
    EXPECT_EQ(lines[0], kOpening);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(lines[i].rfind("{\"File\":\"/music/a.flac\",", 0), 0U) << lines[i];
    }
    EXPECT_EQ(lines[1].back(), ',');
    EXPECT_EQ(lines[2].back(), ',');
    EXPECT_EQ(lines[3].back(), '}');
    EXPECT_EQ(lines[4], "]}");
    EXPECT_NE(document.back(), '\n');
}

TEST_P(JsonReportTest, AnalysedRecordHasEveryMemberInOrder)
{
    const std::string expected =
        "{\"File\":\"/music/a.flac\",\"Codec\":\"FLAC\",\"SampleRate\":44100,\"StoredBits\":16,\"Channels\":2,"
        "\"Duration\":183.457,\"AnalyzedSeconds\":30,\"Error\":null,"
        "\"Upscaling\":{\"Status\":\"No evidence\",\"Summary\":\"Uses the full 16-bit grid\","
        "\"Evidence\":\"Lowest used bit: 0\"},"
        "\"Upsampling\":{\"Status\":\"Possible\",\"Summary\":\"Drop near 22.050 kHz\","
        "\"Evidence\":\"Line one\\r\\nLine two\"},"
        "\"Aac\":{\"Status\":\"Inconclusive\",\"Summary\":\"Too short\",\"Evidence\":\"\"},"
        "\"SpectrumDb\":[0,-3.5,-120]}";
    EXPECT_EQ(buildJsonReport({analysedRecord()}), kOpening + "\n" + expected + "\n]}");
}

TEST_P(JsonReportTest, FailedRecordKeepsEveryDefault)
{
    FileReport failed;
    failed.file = "b.txt";
    failed.error = "Unsupported format.";
    const std::string expected =
        "{\"File\":\"b.txt\",\"Codec\":\"\",\"SampleRate\":0,\"StoredBits\":0,\"Channels\":0,"
        "\"Duration\":0,\"AnalyzedSeconds\":0,\"Error\":\"Unsupported format.\","
        "\"Upscaling\":{\"Status\":\"\",\"Summary\":\"\",\"Evidence\":\"\"},"
        "\"Upsampling\":{\"Status\":\"\",\"Summary\":\"\",\"Evidence\":\"\"},"
        "\"Aac\":{\"Status\":\"\",\"Summary\":\"\",\"Evidence\":\"\"},"
        "\"SpectrumDb\":[]}";
    EXPECT_EQ(buildJsonReport({failed}), kOpening + "\n" + expected + "\n]}");
}

TEST_P(JsonReportTest, NumbersUseSixSignificantDigitsInGeneralNotation)
{
    EXPECT_EQ(spectrumText({30.0, 29.97, 183.456789, -120.0, -3.14159265, 0.0001, 0.0000123, 1234567.0, 0.0}),
              "30,29.97,183.457,-120,-3.14159,0.0001,1.23e-05,1.23457e+06,0");
    EXPECT_EQ(spectrumText({-0.0}), "-0");
    // Borders of fixed notation, and rounding that moves the exponent.
    EXPECT_EQ(spectrumText({999999.0, 999999.5, 100000.0, 0.000099999, 0.00001, 1e100, -1e-300}),
              "999999,1e+06,100000,9.9999e-05,1e-05,1e+100,-1e-300");
    EXPECT_EQ(spectrumText({0.1, 2.5, 1.0 / 3.0, 123456.7, 0.00012345678}),
              "0.1,2.5,0.333333,123457,0.000123457");
}

TEST_P(JsonReportTest, NumbersMatchPrintfGeneralFormatInTheClassicLocale)
{
    // printf in the "C" locale is an independent implementation of the same
    // notation; the writer itself runs in the locale under test.
    std::vector<double> values;
    std::string expected;
    {
        testing::LocaleGuard classic("C");
        ASSERT_TRUE(classic.ok());
        std::mt19937_64 random(20240611);
        std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
        std::uniform_int_distribution<int> exponent(-12, 12);
        for (int i = 0; i < 2000; ++i) {
            const double v = mantissa(random) * std::pow(10.0, exponent(random));
            values.push_back(v);
            char text[40];
            std::snprintf(text, sizeof text, "%g", v);
            if (!expected.empty()) {
                expected += ',';
            }
            expected += text;
        }
    }
    EXPECT_EQ(spectrumText(values), expected);
}

TEST_P(JsonReportTest, IntegersArePlainDecimals)
{
    FileReport r;
    r.sampleRate = 2147483647;
    r.storedBits = -5;
    r.channelCount = std::numeric_limits<std::int32_t>::min();
    const std::string document = buildJsonReport({r});
    EXPECT_EQ(memberText(document, "SampleRate"), "2147483647");
    EXPECT_EQ(memberText(document, "StoredBits"), "-5");
    EXPECT_EQ(memberText(document, "Channels"), "-2147483648");
}

TEST_P(JsonReportTest, DurationsOfWholeSecondsHaveNoDecimalPoint)
{
    FileReport r = analysedRecord();
    r.duration = 30.0;
    r.analyzedSeconds = 29.97;
    const std::string document = buildJsonReport({r});
    EXPECT_EQ(memberText(document, "Duration"), "30");
    EXPECT_EQ(memberText(document, "AnalyzedSeconds"), "29.97");
    EXPECT_EQ(memberText(document, "Error"), "null");
}

TEST_P(JsonReportTest, NonFiniteNumbersStayValidJson)
{
    EXPECT_EQ(spectrumText({std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), -1.0}),
              "null,null,null,-1");
}

TEST_P(JsonReportTest, QuotingEscapesControlBytesQuotesAndBackslashesOnly)
{
    EXPECT_EQ(jsonQuote(""), "\"\"");
    EXPECT_EQ(jsonQuote("\t\n\r"), "\"\\t\\n\\r\"");
    EXPECT_EQ(jsonQuote("\u001f"), "\"\\u001f\"");
    EXPECT_EQ(jsonQuote("\x1b"), "\"\\u001b\"");
    EXPECT_EQ(jsonQuote("\x01"), "\"\\u0001\"");
    EXPECT_EQ(jsonQuote("\b\f"), "\"\\u0008\\u000c\"");
    EXPECT_EQ(jsonQuote(std::string(1, '\0')), "\"\\u0000\"");
    EXPECT_EQ(jsonQuote("\x7f"), "\"\x7f\"");
    EXPECT_EQ(jsonQuote("a/b"), "\"a/b\"");
    EXPECT_EQ(jsonQuote("C:\\Music\\say \"hi\".flac"), "\"C:\\\\Music\\\\say \\\"hi\\\".flac\"");
    EXPECT_EQ(jsonQuote("line\r\nnext"), "\"line\\r\\nnext\"");
}

TEST_P(JsonReportTest, TextBeyondAsciiStaysRawUtf8)
{
    EXPECT_EQ(jsonQuote("\u00e9"), "\"\xC3\xA9\"");
    EXPECT_EQ(jsonQuote("\u00b7"), "\"\xC2\xB7\"");
    EXPECT_EQ(jsonQuote("\u2013"), "\"\xE2\x80\x93\"");
    EXPECT_EQ(jsonQuote("\U0001F3B5"), "\"\xF0\x9F\x8E\xB5\"");
    // Bytes that are no UTF-8 (an encoded surrogate among them) show as U+FFFD,
    // so the document stays valid UTF-8.
    EXPECT_EQ(jsonQuote("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(jsonQuote("x\xE9"), "\"x\xEF\xBF\xBD\"");
    // A file name's stray byte likewise, one replacement per byte.
    FileReport named;
    named.file = "/music/caf\xE9\xFF.flac";
    named.error = "e";
    EXPECT_NE(buildJsonReport({named}).find("\"File\":\"/music/caf\xEF\xBF\xBD\xEF\xBF\xBD.flac\""),
              std::string::npos);
}

TEST_P(JsonReportTest, PathsAndMultiLineEvidenceKeepTheRecordOnOneLine)
{
    FileReport r = analysedRecord();
    r.file = "/tmp/a \"quoted\" \\ name\n.flac";
    r.aacSin.evidence = "first\r\nsecond\r\nthird";
    const std::string document = buildJsonReport({r});
    ASSERT_EQ(splitLines(document).size(), 3U);
    EXPECT_NE(document.find("\"File\":\"/tmp/a \\\"quoted\\\" \\\\ name\\n.flac\""), std::string::npos);
    EXPECT_NE(document.find("\"Evidence\":\"first\\r\\nsecond\\r\\nthird\""), std::string::npos);
}

std::string localeName(const ::testing::TestParamInfo<const char*>& param)
{
    return std::string(param.param) == "C" ? "Classic" : "GermanComma";
}

INSTANTIATE_TEST_SUITE_P(Locales, JsonReportTest, ::testing::Values("C", "de_DE.UTF-8"), localeName);

} // namespace
} // namespace orvel
