// SPDX-License-Identifier: MIT
// Report export under failure: the one report writer of every front end,
// called in-process. A file size limit hit part-way and a target under a
// plain file each give their message, keep an existing report byte for byte
// and leave no temporary beside it.
#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/reports.h"
#include "batch/report_file.h"

namespace {

using orvel::ReportFormat;
using orvel::testing::ScratchFolder;
using orvel::testing::readBytes;
using orvel::testing::writeBytes;
using orvel::testing::cannotCreateReportMessage;
using orvel::testing::reportWriteFailedMessage;
namespace fs = std::filesystem;

std::vector<orvel::FileReport> thirtyAnalysedRecords()
{
    orvel::FileReport record = orvel::testing::analysedRecord("/music/album/track.flac");
    record.spectrumDb.assign(2049, -98.765);
    return std::vector<orvel::FileReport>(30, record); // some 600 kB as JSON, 10 kB as text
}

// Runs writeReportFile in a child with the file size limit set; returns the
// message it threw, or "" when it returned.
std::string exportWithSizeLimit(const fs::path& target, ReportFormat format, rlim_t limit)
{
    int channel[2];
    if (::pipe(channel) != 0) {
        return "(no pipe)";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN); // as the program does: a failed write, not a killed process
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        std::string message;
        try {
            message = orvel::writeReportFile(target, format, thirtyAnalysedRecords());
        } catch (const std::runtime_error& e) {
            message = std::string("thrown: ") + e.what();
        }
        const ssize_t ignored = ::write(channel[1], message.data(), message.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
        message.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the export child died";
    return message;
}

TEST(ExportFailureTest, FileSizeLimitFailsTheExportAndKeepsTheOldReport)
{
    for (const ReportFormat format : {ReportFormat::Json, ReportFormat::Text}) {
        for (const rlim_t limit : {rlim_t{0}, rlim_t{4096}}) {
            SCOPED_TRACE(limit);
            const ScratchFolder scratch;
            const fs::path target = scratch / "report.json";
            writeBytes(target, "previous report");
            EXPECT_EQ(exportWithSizeLimit(target, format, limit), reportWriteFailedMessage(target.native(), "File too large"));
            EXPECT_EQ(readBytes(target), "previous report");
            EXPECT_EQ(scratch.entries(), std::vector<std::string>{"report.json"}) << "no temporary left behind";
        }
    }
}

TEST(ExportFailureTest, ATargetUnderAPlainFileCannotBeCreated)
{
    const ScratchFolder scratch;
    writeBytes(scratch / "plain", "not a folder");
    EXPECT_EQ(exportWithSizeLimit(scratch / "plain" / "report.json", ReportFormat::Json, RLIM_INFINITY),
              cannotCreateReportMessage((scratch / "plain" / "report.json").native(), "Not a directory"));
    EXPECT_EQ(readBytes(scratch / "plain"), "not a folder");
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"plain"});
}

TEST(ExportFailureTest, WithoutALimitTheSameExportSucceeds)
{
    // The failures above come from the limit, not from the records.
    const ScratchFolder scratch;
    EXPECT_EQ(exportWithSizeLimit(scratch / "report.json", ReportFormat::Json, RLIM_INFINITY), "");
    EXPECT_GT(fs::file_size(scratch / "report.json"), 400000U);
}

} // namespace
