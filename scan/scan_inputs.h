// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace orvel {

// One file to analyse, in the order the command line produced it.
struct ScanInput {
    std::wstring path;        // absolute and lexically normal: the record's "File"
    std::wstring displayName; // the same file as the user named it (relative stays relative)
    std::wstring error;       // non-empty when the path cannot be analysed at all
};

// Expands the given paths the way the window's queue does: a folder is walked
// (supported extensions, no links followed inside it), anything else is taken
// as a file whatever its extension. Unlike the queue, nothing is dropped
// silently: a path that does not exist, an unreadable folder and a path that
// is neither a file nor a folder each give an input carrying an error.
// Duplicates (same normal path, case-sensitive) are kept once, at their first
// place; there is no limit on the count.
[[nodiscard]] std::vector<ScanInput> collectScanInputs(const std::vector<std::wstring>& givenPaths);

} // namespace orvel
