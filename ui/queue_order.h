// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/file_report.h"

namespace orvel {

struct QueueEntry;

// The verdict columns of the queue list, one per check. Sorting, the
// findings filter and the counts run over this table.
using CheckColumn = ReportCheck;
inline constexpr const std::array<CheckColumn, kReportChecks.size()>& kCheckColumns = kReportChecks;

// The list's columns: FILE, CONCLUSION, one per check, STATE.
inline constexpr int kFileColumn = 0;
inline constexpr int kConclusionColumn = 1;
inline constexpr int kStateColumn = static_cast<int>(kCheckColumns.size()) + 2;
inline constexpr int kQueueColumnCount = kStateColumn + 1;

// The header text of a list column; empty outside the list.
[[nodiscard]] std::string_view queueColumnTitle(int column);
// The check a list column shows, or null for FILE, CONCLUSION, STATE and anything else.
[[nodiscard]] const CheckColumn* checkColumnAt(int column);

// True when any check of a successful result points at a lower-quality origin.
[[nodiscard]] bool entryHasFinding(const QueueEntry& entry);

// How the list orders its rows: column -1 keeps the queue order. FILE sorts
// by name, CONCLUSION puts likely findings first (then possible ones, lossy
// files, files too short to judge, clean files), a check column puts findings
// first (then the other verdicts); both then failed files, then files not yet
// analysed. STATE sorts by the state's order.
// Equal rows keep their queue order in either direction.
struct QueueSort {
    int column = -1;
    bool descending = false;
    bool operator==(const QueueSort&) const = default;
};

// The same column again reverses the direction; another column starts ascending.
[[nodiscard]] QueueSort nextSort(QueueSort current, int clickedColumn);

// The indices of the entries to show, in the order to show them.
[[nodiscard]] std::vector<int> queueDisplayOrder(const std::vector<QueueEntry>& entries, QueueSort sort,
                                                 bool onlyFindings);

// "12 with findings (Upscaling 8 · Upsampling 5)"; empty when no entry has a finding.
[[nodiscard]] std::string findingCountsText(const std::vector<QueueEntry>& entries);

// The conclusions counted: "3 no trace · 1 likely lossy (1 MP3) · 1 not
// analysed"; a file without a result counts as not analyzed. Empty for no files.
[[nodiscard]] std::string conclusionCountsText(const std::vector<QueueEntry>& entries);

// "1 file", "2 files"; the noun is given in the singular and takes an "s".
[[nodiscard]] std::string countText(std::size_t count, std::string_view noun);

} // namespace orvel
