// SPDX-License-Identifier: MIT
#include "batch/report_file.h"

#include <gtest/gtest.h>

#include "report/csv_report.h"
#include "report/json_report.h"
#include "report/text_report.h"
#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "text/utf8.h"

namespace orvel {
namespace {

using testing::ScratchFolder;
using testing::readBytes;
using testing::writeBytes;

std::vector<FileReport> someRecords()
{
    std::vector<FileReport> records(3);
    records[0].file = "/music/a \"b\", c.flac";
    records[0].codec = "FLAC";
    records[0].sampleRate = 44100;
    records[0].storedBits = 16;
    records[0].channelCount = 2;
    records[0].duration = 183.4567;
    records[0].analyzedSeconds = 30.0;
    records[0].upscaling = {Verdict::NoEvidence, "No consistent bit-depth padding", "line 1\r\nline 2"};
    records[0].upsampling = {Verdict::Possible, "Bandwidth compatible with 44.100 kHz source", "e"};
    records[0].aacSin = {Verdict::Inconclusive, "Signal level too low", "c"};
    records[0].spectrumDb.assign(2049, -12.5);
    records[1].file = "/music/caf\xE9.wav";
    records[1].error = "Truncated WAV/AIFF sample data.";
    records[2] = records[0];
    records[2].file = "/music/z.flac";
    return records;
}

TEST(ReportFileTest, AReportWrittenRecordByRecordHasTheBytesOfTheWholeDocument)
{
    const std::vector<FileReport> records = someRecords();
    const std::pair<ReportFormat, std::string> expected[] = {
        {ReportFormat::Json, buildJsonReport(records)},
        {ReportFormat::Text, buildTextReport(records)},
        {ReportFormat::Csv, buildCsvReport(records)},
        {ReportFormat::Html, buildReport(ReportFormat::Html, records)},
    };
    for (const auto& [format, bytes] : expected) {
        const ScratchFolder scratch;
        EXPECT_EQ(writeReportFile(scratch / "report", format, records), "");
        EXPECT_EQ(readBytes(scratch / "report"), bytes);
        EXPECT_EQ(buildReport(format, records), bytes);
        EXPECT_EQ(writeReportFile(scratch / "empty", format, {}), "");
        EXPECT_EQ(readBytes(scratch / "empty"), buildReport(format, {}));
    }
}

TEST(ReportFileTest, TheTargetKeepsItsOldBytesUntilTheReportIsFinished)
{
    const ScratchFolder scratch;
    const auto target = scratch / "report.json";
    writeBytes(target, "old report");
    {
        ReportFile report(target, ReportFormat::Json);
        for (const FileReport& record : someRecords()) {
            report.add(record);
            EXPECT_EQ(readBytes(target), "old report");
        }
        // Dropped unfinished (a run that ended badly): the old report stays whole.
    }
    EXPECT_EQ(readBytes(target), "old report");
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"report.json"}) << "no temporary left behind";

    ReportFile report(target, ReportFormat::Json);
    report.add(someRecords()[1]);
    EXPECT_EQ(report.finish(), "");
    EXPECT_EQ(readBytes(target), buildJsonReport({someRecords()[1]}));
}

TEST(ReportFileTest, AnUncreatableReportSaysSoAndLeavesNothing)
{
    const ScratchFolder scratch;
    EXPECT_EQ(writeReportFile(scratch / "missing" / "report.csv", ReportFormat::Csv, someRecords()),
              testing::cannotCreateReportMessage(displayName(scratch / "missing" / "report.csv"), "No such file or directory"));
    EXPECT_TRUE(scratch.entries().empty());
}

} // namespace
} // namespace orvel
