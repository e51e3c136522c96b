// SPDX-License-Identifier: MIT
#include "ui/queue_order.h"

#include <algorithm>
#include <functional>

#include "analysis/conclusion.h"
#include "analysis/verdict.h"
#include "ui/analysis_queue.h"

namespace orvel {
namespace {

// Findings first, then the quieter verdicts, failed files, and files without a result.
int verdictRank(const QueueEntry& entry, const CheckColumn& column)
{
    if (!entry.result) {
        return 100;
    }
    if (!entry.result->error.empty()) {
        return 99;
    }
    const Verdict verdict = ((*entry.result).*(column.check)).status;
    if (isFinding(verdict)) {
        return verdict == Verdict::EvidenceFound ? 0 : 1;
    }
    const auto it = std::find(kVerdicts.begin(), kVerdicts.end(), verdict);
    return it == kVerdicts.end() ? 98 : 2 + static_cast<int>(it - kVerdicts.begin());
}

int conclusionRank(const QueueEntry& entry)
{
    if (!entry.result) {
        return 100;
    }
    switch (concludeFile(*entry.result).level) {
    case ConclusionLevel::Likely: return 0;
    case ConclusionLevel::Possible: return 1;
    case ConclusionLevel::LossyInput: return 2;
    case ConclusionLevel::Inconclusive: return 3;
    case ConclusionLevel::None: return 4;
    case ConclusionLevel::Failed: return 99;
    }
    return 98;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Name order that ignores ASCII case; the whole path settles equal names.
bool nameBefore(const QueueEntry& a, const QueueEntry& b)
{
    const std::string left = fileNameOf(a.path);
    const std::string right = fileNameOf(b.path);
    const bool less = std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                                   [](char x, char y) { return lowerAscii(x) < lowerAscii(y); });
    const bool greater = std::lexicographical_compare(right.begin(), right.end(), left.begin(), left.end(),
                                                      [](char x, char y) { return lowerAscii(x) < lowerAscii(y); });
    if (less != greater) {
        return less;
    }
    return a.path.native() < b.path.native();
}

} // namespace

std::string_view queueColumnTitle(int column)
{
    if (column == kFileColumn) {
        return "FILE";
    }
    if (column == kStateColumn) {
        return "STATE";
    }
    if (column == kConclusionColumn) {
        return "CONCLUSION";
    }
    const CheckColumn* check = checkColumnAt(column);
    return check ? check->title : std::string_view();
}

const CheckColumn* checkColumnAt(int column)
{
    if (column <= kConclusionColumn || column >= kStateColumn) {
        return nullptr;
    }
    return &kCheckColumns[static_cast<std::size_t>(column - kConclusionColumn - 1)];
}

bool entryHasFinding(const QueueEntry& entry)
{
    if (!entry.result || !entry.result->error.empty()) {
        return false;
    }
    return std::any_of(kCheckColumns.begin(), kCheckColumns.end(),
                       [&](const CheckColumn& c) { return isFinding(((*entry.result).*(c.check)).status); });
}

QueueSort nextSort(QueueSort current, int clickedColumn)
{
    if (clickedColumn < 0 || clickedColumn >= kQueueColumnCount) {
        return current;
    }
    if (current.column == clickedColumn) {
        return QueueSort{clickedColumn, !current.descending};
    }
    return QueueSort{clickedColumn, false};
}

std::vector<int> queueDisplayOrder(const std::vector<QueueEntry>& entries, QueueSort sort, bool onlyFindings)
{
    std::vector<int> order;
    order.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!onlyFindings || entryHasFinding(entries[i])) {
            order.push_back(static_cast<int>(i));
        }
    }
    if (sort.column < 0 || sort.column >= kQueueColumnCount) {
        return order;
    }
    // before(a, b): a comes first in ascending order. Descending swaps the
    // arguments, and the stable sort keeps equal rows in queue order.
    std::function<bool(const QueueEntry&, const QueueEntry&)> before;
    if (sort.column == kFileColumn) {
        before = nameBefore;
    } else if (sort.column == kConclusionColumn) {
        before = [](const QueueEntry& a, const QueueEntry& b) { return conclusionRank(a) < conclusionRank(b); };
    } else if (sort.column == kStateColumn) {
        before = [](const QueueEntry& a, const QueueEntry& b) {
            return static_cast<int>(a.state) < static_cast<int>(b.state);
        };
    } else {
        const CheckColumn& column = *checkColumnAt(sort.column);
        before = [&column](const QueueEntry& a, const QueueEntry& b) {
            return verdictRank(a, column) < verdictRank(b, column);
        };
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const QueueEntry& x = entries[static_cast<std::size_t>(a)];
        const QueueEntry& y = entries[static_cast<std::size_t>(b)];
        return sort.descending ? before(y, x) : before(x, y);
    });
    return order;
}

std::string findingCountsText(const std::vector<QueueEntry>& entries)
{
    std::size_t withFindings = 0;
    std::array<std::size_t, kCheckColumns.size()> perCheck{};
    for (const QueueEntry& entry : entries) {
        if (!entryHasFinding(entry)) {
            continue;
        }
        ++withFindings;
        for (std::size_t c = 0; c < kCheckColumns.size(); ++c) {
            perCheck[c] += isFinding(((*entry.result).*(kCheckColumns[c].check)).status) ? 1 : 0;
        }
    }
    if (withFindings == 0) {
        return {};
    }
    std::string text = std::to_string(withFindings) + " with findings (";
    bool first = true;
    for (std::size_t c = 0; c < kCheckColumns.size(); ++c) {
        if (perCheck[c] == 0) {
            continue;
        }
        text += (first ? "" : " \u00B7 ") + std::string(kCheckColumns[c].name) + " " + std::to_string(perCheck[c]);
        first = false;
    }
    return text + ")";
}

std::string conclusionCountsText(const std::vector<QueueEntry>& entries)
{
    ConclusionCounts counts;
    for (const QueueEntry& entry : entries) {
        if (entry.result) {
            counts.add(concludeFile(*entry.result));
        } else {
            Conclusion waiting;
            waiting.level = ConclusionLevel::Failed;
            counts.add(waiting);
        }
    }
    std::string text;
    for (const std::string& kind : counts.kinds()) {
        text += (text.empty() ? "" : " \u00B7 ") + kind;
    }
    return text;
}

std::string countText(std::size_t count, std::string_view noun)
{
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

} // namespace orvel
