// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "picture/spectrogram_picture.h"

namespace orvel {

// What one kestrone-scan command line asks for. Report targets are paths as
// given; "-" stands for standard output.
enum class ProgressMode { Auto, Jsonl, None };
enum class ColourMode { Auto, Always, Never };

struct ScanOptions {
    std::vector<std::string> paths; // with merge: the JSON Lines parts
    std::optional<std::string> jsonTarget;
    std::optional<std::string> textTarget;
    std::optional<std::string> csvTarget;
    std::optional<std::string> jsonlTarget;
    std::optional<std::string> htmlTarget;
    bool htmlPictures = false;               // a small spectrogram per file in the HTML report
    bool withSpectrum = false;               // the spectrum in JSON Lines records
    std::optional<std::string> filesFrom;    // a list of paths, "-" for stdin
    bool nulSeparated = false;               // -0: the list is NUL-separated
    unsigned shardIndex = 1;                 // --shard K/N, K from 1
    unsigned shardCount = 1;
    bool merge = false;                      // paths are JSON Lines parts to merge
    std::optional<std::string> cache;        // empty: the default cache file
    bool cachePrune = false;                 // drop the cache's records of files gone or changed
    ProgressMode progress = ProgressMode::Auto;
    std::optional<std::string> spectrogramFolder; // --spectrogram DIR: one picture per file
    PictureSize pictureSize;                      // --size WxH
    bool summary = false;
    bool checks = false;       // the four check columns in the table, however narrow the terminal
    bool onlyFindings = false; // table and summaries leave out files with no trace
    ColourMode colour = ColourMode::Auto;
    unsigned jobs = 0; // 0: one per available core
};

enum class ScanCommand { Run, Help, Version };

struct ScanCommandLine {
    ScanCommand command = ScanCommand::Run;
    ScanOptions options;
};

// A command line that cannot be run; what() is the one-line reason.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr unsigned kMaxScanJobs = 1024;

// Parses the arguments after the program name. Options and paths may be
// mixed; "--" ends the options. "--help" or "--version" anywhere before "--"
// wins over everything else. Throws UsageError.
[[nodiscard]] ScanCommandLine parseScanCommandLine(const std::vector<std::string>& args);

[[nodiscard]] const char* scanUsageText();

} // namespace orvel
