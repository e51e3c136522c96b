// SPDX-License-Identifier: MIT
// File names in the text and CSV reports: nothing in a name breaks a line, a
// row or a terminal, and two different names never look the same.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "report/csv_report.h"
#include "report/report_name.h"
#include "report/text_report.h"
#include "tests/support/reports.h"

namespace {

using orvel::reportName;

TEST(ReportNameTest, ValidNamesStayAsTheyAre)
{
    EXPECT_EQ(reportName("/music/Café – 東京/01 a,b \"c\".flac"), "/music/Café – 東京/01 a,b \"c\".flac");
}

TEST(ReportNameTest, ControlCharactersAndForeignBytesAreShownByTheirBytes)
{
    EXPECT_EQ(reportName("/m/a\nb.flac"), "/m/a\xEF\xBF\xBD\\x0Ab.flac");
    EXPECT_EQ(reportName("/m/\x1b[31mred.flac"), "/m/\xEF\xBF\xBD\\x1B[31mred.flac");
    EXPECT_EQ(reportName("/m/a\rb\x7f\xC2\x85.flac"), "/m/a\xEF\xBF\xBD\\x0Db\xEF\xBF\xBD\\x7F\xEF\xBF\xBD\\xC2\\x85.flac");
    EXPECT_EQ(reportName("/m/caf\xE9.flac"), "/m/caf\xEF\xBF\xBD\\xE9.flac");
    // A U+FFFD of the name itself is told apart from a replaced byte.
    EXPECT_EQ(reportName("/m/caf\xEF\xBF\xBD.flac"), "/m/caf\xEF\xBF\xBD\\xEF\\xBF\\xBD.flac");
}

TEST(ReportNameTest, DifferentNamesStayDifferentInTextAndCsv)
{
    const std::vector<std::string> names{"/m/caf\xE9.flac", "/m/caf\xE8.flac", "/m/caf\xEF\xBF\xBD.flac",
                                         "/m/caf\x01.flac", "/m/caf\x02.flac", "/m/caf\xC0\xAF.flac"};
    std::set<std::string> texts;
    std::set<std::string> rows;
    for (const std::string& name : names) {
        std::string text;
        orvel::appendTextSection(text, orvel::testing::analysedRecord(name));
        texts.insert(text.substr(0, text.find("\r\n")));
        std::string row;
        orvel::appendCsvRow(row, orvel::testing::analysedRecord(name));
        rows.insert(row.substr(0, row.find(',')));
    }
    EXPECT_EQ(texts.size(), names.size());
    EXPECT_EQ(rows.size(), names.size());
}

TEST(ReportNameTest, ALineBreakInANameKeepsTheTextSectionAndCsvRowOnTheirLines)
{
    const orvel::FileReport record = orvel::testing::analysedRecord("/m/evil\r\nFile,Codec\x1b]0;x\x07.flac");
    std::string text;
    orvel::appendTextSection(text, record);
    const std::string firstLine = text.substr(0, text.find("\r\n"));
    EXPECT_EQ(firstLine.find_first_of("\r\n\x1b\x07"), std::string::npos) << firstLine;
    EXPECT_NE(firstLine.find("evil"), std::string::npos);
    EXPECT_NE(firstLine.find(".flac"), std::string::npos);

    std::string row;
    orvel::appendCsvRow(row, record);
    EXPECT_EQ(row.find_first_of("\n\x1b\x07"), row.size() - 1) << row; // only the row's own CR LF
    EXPECT_EQ(orvel::testing::csvRows(std::string(orvel::csvHeader()) + row).size(), 2u);
}

} // namespace
