// SPDX-License-Identifier: MIT
// Report writers when the report cannot be written: a file size limit hit
// part-way, a target under a plain file, a folder that does not exist. Each
// run fails with exit code 2 (and kestrone-scan says why), an existing report
// keeps every byte, and no temporary file is left beside it.
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/process.h"
#include "text/utf8.h"
#include "tests/support/reports.h"

namespace {

using namespace orvel::testing;
using orvel::testing::ScratchFolder;
using orvel::testing::readBytes;
using orvel::testing::writeBytes;
namespace fs = std::filesystem;

const std::string kPrevious = "{\"previous\":\"report\",\"kept\":true}\n";

class ReportFailureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeBytes(m_scratch / "report.json", kPrevious);
        writeBytes(m_scratch / "plain-file", "not a folder");
        m_input = filesIn(testAudio("hostile", "good")).at(1).native();
    }

    // The folder holds what it held before the run, byte for byte.
    void expectFolderUnchanged()
    {
        EXPECT_EQ(m_scratch.entries(), (std::vector<std::string>{"plain-file", "report.json"}));
        EXPECT_EQ(readBytes(m_scratch / "report.json"), kPrevious);
        EXPECT_EQ(readBytes(m_scratch / "plain-file"), "not a folder");
    }

    ScratchFolder m_scratch;
    std::string m_input;
};

TEST_F(ReportFailureTest, AnalysisRunFailsWithTwoWhenTheTargetIsUnderAFile)
{
    const ProcessResult run = runAnalysis({(m_scratch / "plain-file" / "report.json").native(), m_input});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(run.out + run.err, "") << "the headless modes print nothing";
    expectFolderUnchanged();
}

TEST_F(ReportFailureTest, AnalysisRunHittingTheFileSizeLimitKeepsTheOldReport)
{
    // One analysed record is some 20 kB; the limit stops the write part-way,
    // and with a damaged input in the run the exit code is still 2.
    for (rlim_t limit : {rlim_t{0}, rlim_t{100}, rlim_t{8192}}) {
        SCOPED_TRACE(limit);
        const ProcessResult run = runAnalysis({(m_scratch / "report.json").native(), m_input,
                                                   testAudio("hostile", "bad/zero.flac").native()},
                                      ProcessOptions{.fileSizeLimit = limit});
        EXPECT_EQ(run.exitCode, 2) << "the limit must fail the write, not kill the program";
        expectFolderUnchanged();
    }
}

TEST_F(ReportFailureTest, ScanFailsWithTwoAndSaysWhyWhenItsReportCannotBeWritten)
{
    const struct {
        const char* what;
        fs::path target;
        rlim_t limit;
    } cases[] = {
        {"file size limit", m_scratch / "report.json", 4096},
        {"target under a file", m_scratch / "plain-file" / "report.json", RLIM_INFINITY},
        {"missing folder", m_scratch / "missing" / "report.json", RLIM_INFINITY},
        {"target is a folder", m_scratch.path(), RLIM_INFINITY},
    };
    for (const auto& failing : cases) {
        SCOPED_TRACE(failing.what);
        const ProcessResult run = runProcess({scanProgram(), "--json", failing.target.native(), m_input},
                                      ProcessOptions{.fileSizeLimit = failing.limit});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(orvel::displayName(failing.target)), std::string::npos)
            << "the message names the report: " << run.err;
        expectFolderUnchanged();
    }
}

TEST_F(ReportFailureTest, ScanStillWritesItsOtherReportsWhenOneFails)
{
    // The failing JSON target must not cost the CSV beside it.
    const fs::path csv = m_scratch / "report.csv";
    const ProcessResult run = runProcess({scanProgram(), "--json", (m_scratch / "plain-file" / "r.json").native(), "--csv",
                                                   csv.native(), m_input});
    EXPECT_EQ(run.exitCode, 2);
    const std::string table = readBytes(csv);
    EXPECT_NE(table.find(fs::path(m_input).filename().native()), std::string::npos) << table;
    fs::remove(csv);
    expectFolderUnchanged();
}

} // namespace
