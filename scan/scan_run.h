// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <string>
#include <cstddef>

#include "scan/scan_options.h"

namespace orvel {

// What the process found out about where its output goes.
struct ScanTerminal {
    bool colour = false;           // --color, or stdout is a terminal and NO_COLOR is unset or empty
    bool stdoutIsTerminal = false;
    bool progress = false;         // stderr is a terminal
    unsigned defaultJobs = 1;      // cores available to the process
    std::size_t columns = 0;       // stdout's terminal width (else COLUMNS, else 80); for a pipe COLUMNS or 0: no limit
};

inline constexpr int kScanExitOk = 0;
inline constexpr int kScanExitFileFailed = 1;
inline constexpr int kScanExitReportFailed = 2;
inline constexpr int kScanExitUsage = 64;
inline constexpr int kScanExitBadInput = 65; // a --merge part or a --files-from list cannot be read
inline constexpr int kScanExitInterrupted = 130;

// A message for stderr, with its line feed: "kestrone-scan: message", or with
// --progress=jsonl the event {"event":"notice","message":"..."}, so that a
// program reading the events never meets plain text.
[[nodiscard]] std::string noticeLine(const std::string& message, bool asEvent);

// Runs one scan: collects the inputs, analyses them, prints the table or the
// summaries on stdout (left out when a report goes to "-"), writes the
// reports and returns the exit code. A set stop flag ends the analysis early;
// the records complete by then are printed and written, and the result is
// kScanExitInterrupted. runScan sets the flag itself when stdout is gone and
// no report goes to a file (nothing could be delivered any more). Throws
// UsageError when a report would overwrite an input.
[[nodiscard]] int runScan(const ScanOptions& options, std::atomic<bool>& stopRequested, const ScanTerminal& terminal);

// --merge: reads the JSON Lines parts (each in input order, as a scan writes
// them), merges them by their input index and writes the reports a single
// run over all their files would have written. Returns the exit code.
[[nodiscard]] int runMerge(const ScanOptions& options, const ScanTerminal& terminal);

} // namespace orvel
