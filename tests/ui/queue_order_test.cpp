// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/analysis_queue.h"
#include "ui/queue_order.h"

namespace {

namespace fs = std::filesystem;
using orvel::EntryState;
using orvel::kCheckColumns;
using orvel::QueueEntry;
using orvel::QueueSort;
using orvel::Verdict;

// An entry as the queue holds it: no result, a failed one, or one whose
// checks all say `rest` except the first, which says `first`.
QueueEntry entry(const std::string& path, std::optional<Verdict> first, EntryState state = EntryState::Complete,
                 Verdict rest = Verdict::NoEvidence)
{
    QueueEntry e;
    e.path = fs::path("/music") / path;
    e.state = state;
    if (first) {
        e.result = std::make_unique<orvel::FileReport>();
        for (const orvel::CheckColumn& column : kCheckColumns) {
            ((*e.result).*(column.check)).status = rest;
        }
        e.result->upscaling.status = *first;
    }
    return e;
}

QueueEntry failed(const std::string& path)
{
    QueueEntry e;
    e.path = fs::path("/music") / path;
    e.state = EntryState::Error;
    e.result = std::make_unique<orvel::FileReport>();
    e.result->error = "Unsupported format";
    return e;
}

class QueueOrderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        entries.push_back(entry("b.flac", Verdict::NoEvidence));                       // 0
        entries.push_back(entry("Zed.flac", std::nullopt, EntryState::Queued));        // 1
        entries.push_back(entry("c.flac", Verdict::Possible));                         // 2
        entries.push_back(failed("d.flac"));                                           // 3
        entries.push_back(entry("e.flac", Verdict::EvidenceFound));                    // 4
        entries.push_back(entry("f.flac", Verdict::Inconclusive, EntryState::Stopped)); // 5
        entries.push_back(entry("g.flac", Verdict::Possible, EntryState::Analyzing));  // 6
    }
    std::vector<QueueEntry> entries;
};

TEST_F(QueueOrderTest, ACheckColumnPutsFindingsFirstThenQuietVerdictsFailuresAndUnanalysedFiles)
{
    EXPECT_EQ(orvel::queueDisplayOrder(entries, {}, false), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}))
        << "no sort: queue order";
    EXPECT_EQ(orvel::queueDisplayOrder(entries, QueueSort{2, false}, false), (std::vector<int>{4, 2, 6, 0, 5, 3, 1}));
    // Reversed keys, but rows with equal keys (2 and 6) stay in queue order.
    EXPECT_EQ(orvel::queueDisplayOrder(entries, QueueSort{2, true}, false), (std::vector<int>{1, 3, 5, 0, 2, 6, 4}));
}

TEST_F(QueueOrderTest, EveryCheckColumnSortsByItsOwnVerdict)
{
    // A finding in one check only: that column lists it first, the others do not.
    for (std::size_t c = 0; c < kCheckColumns.size(); ++c) {
        std::vector<QueueEntry> list;
        list.push_back(entry("quiet.flac", Verdict::NoEvidence));
        list.push_back(entry("found.flac", Verdict::NoEvidence));
        ((*list[1].result).*(kCheckColumns[c].check)).status = Verdict::Possible;
        for (std::size_t other = 0; other < kCheckColumns.size(); ++other) {
            const int column = static_cast<int>(other) + orvel::kConclusionColumn + 1;
            EXPECT_EQ(orvel::queueDisplayOrder(list, QueueSort{column, false}, false),
                      (other == c ? std::vector<int>{1, 0} : std::vector<int>{0, 1}))
                << kCheckColumns[c].name << " in column " << column;
        }
        EXPECT_EQ(orvel::queueDisplayOrder(list, {}, true), std::vector<int>{1}) << kCheckColumns[c].name;
    }
}

TEST_F(QueueOrderTest, NamesSortWithoutRegardToCaseAndStatesInTheirOrder)
{
    // Byte order would put "Zed" first.
    EXPECT_EQ(orvel::queueDisplayOrder(entries, QueueSort{orvel::kFileColumn, false}, false),
              (std::vector<int>{0, 2, 3, 4, 5, 6, 1}));
    EXPECT_EQ(orvel::queueDisplayOrder(entries, QueueSort{orvel::kFileColumn, true}, false),
              (std::vector<int>{1, 6, 5, 4, 3, 2, 0}));
    // Queued, Analyzing, Complete (in queue order), Error, Stopped.
    EXPECT_EQ(orvel::queueDisplayOrder(entries, QueueSort{orvel::kStateColumn, false}, false),
              (std::vector<int>{1, 6, 0, 2, 4, 3, 5}));

    // The same name in two folders: the folder decides.
    std::vector<QueueEntry> twins;
    twins.push_back(entry("z/same.flac", Verdict::NoEvidence));
    twins.push_back(entry("a/same.flac", Verdict::NoEvidence));
    EXPECT_EQ(orvel::queueDisplayOrder(twins, QueueSort{orvel::kFileColumn, false}, false), (std::vector<int>{1, 0}));
}

TEST_F(QueueOrderTest, TheFindingsFilterKeepsOnlySuccessfulResultsWithAFinding)
{
    EXPECT_EQ(orvel::queueDisplayOrder(entries, {}, true), (std::vector<int>{2, 4, 6}));
    EXPECT_EQ(orvel::queueDisplayOrder(entries, QueueSort{2, false}, true), (std::vector<int>{4, 2, 6}));
    EXPECT_FALSE(orvel::entryHasFinding(entries[3])) << "a failed file has no finding";
    EXPECT_FALSE(orvel::entryHasFinding(entries[1]));
    EXPECT_TRUE(orvel::entryHasFinding(entries[4]));
}

TEST_F(QueueOrderTest, AClickOnTheSortedColumnReversesItAndAnotherStartsAscending)
{
    QueueSort sort;
    sort = orvel::nextSort(sort, 2);
    EXPECT_EQ(sort, (QueueSort{2, false}));
    sort = orvel::nextSort(sort, 2);
    EXPECT_EQ(sort, (QueueSort{2, true}));
    sort = orvel::nextSort(sort, 0);
    EXPECT_EQ(sort, (QueueSort{0, false}));
    EXPECT_EQ(orvel::nextSort(sort, orvel::kQueueColumnCount), sort) << "outside the list";
    EXPECT_EQ(orvel::queueColumnTitle(orvel::kStateColumn), "STATE");
    EXPECT_EQ(orvel::queueColumnTitle(1), "CONCLUSION");
    EXPECT_EQ(orvel::checkColumnAt(1), nullptr);
    EXPECT_EQ(orvel::queueColumnTitle(4), "AAC-SIN");
    EXPECT_EQ(orvel::queueColumnTitle(5), "ORIGIN");
    EXPECT_EQ(orvel::kStateColumn, 6);
    EXPECT_EQ(orvel::checkColumnAt(orvel::kStateColumn), nullptr);
}

TEST_F(QueueOrderTest, CountsNameFindingsPerCheckAndNumbersTakeTheirPlural)
{
    entries[5].result->upsampling.status = Verdict::Possible; // a second file with a finding, in another check
    EXPECT_EQ(orvel::findingCountsText(entries), "4 with findings (Upscaling 3 \u00B7 Upsampling 1)");
    entries[0].result->origin.status = Verdict::EvidenceFound; // a file whose only finding is ORIGIN's
    EXPECT_EQ(orvel::findingCountsText(entries), "5 with findings (Upscaling 3 \u00B7 Upsampling 1 \u00B7 Origin 1)");
    std::vector<QueueEntry> quiet;
    quiet.push_back(entry("q.flac", Verdict::NoEvidence));
    quiet.push_back(failed("x.flac"));
    EXPECT_EQ(orvel::findingCountsText(quiet), "");
    EXPECT_EQ(orvel::countText(1, "file"), "1 file");
    EXPECT_EQ(orvel::countText(0, "file"), "0 files");
    EXPECT_EQ(orvel::countText(5000, "path"), "5000 paths");
}

} // namespace
