// SPDX-License-Identifier: MIT
#include "scan/scan_options.h"

#include <filesystem>
#include <string>
#include <string_view>

#include "batch/input_walker.h"
#include "decode/audio_paths.h"
#include "report/about_text.h"
#include "text/utf8.h"

namespace orvel {
namespace {

unsigned parseJobs(const std::string& text)
{
    unsigned long value = 0;
    bool valid = !text.empty() && text.size() <= 5;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') {
            valid = false;
            break;
        }
        value = value * 10 + static_cast<unsigned long>(ch - '0');
    }
    if (!valid || value < 1 || value > kMaxScanJobs) {
        throw UsageError("--jobs wants a whole number from 1 to " + std::to_string(kMaxScanJobs) + ", not '" +
                         displayBytes(text) + "'");
    }
    return static_cast<unsigned>(value);
}

// Two reports into one stream or one file would garble each other, and a
// report named like an audio file is almost always a shell glob gone wrong
// ("--csv *.flac" names the first track as the report).
void checkTargets(const ScanOptions& options)
{
    struct Named {
        const char* option;
        const std::optional<std::string>& target;
    };
    const Named targets[] = {{"--json", options.jsonTarget},
                             {"--text", options.textTarget},
                             {"--csv", options.csvTarget},
                             {"--jsonl", options.jsonlTarget},
                             {"--html", options.htmlTarget}};
    const char* toStdout = nullptr;
    for (std::size_t i = 0; i < std::size(targets); ++i) {
        if (!targets[i].target) {
            continue;
        }
        const std::string& target = *targets[i].target;
        if (target == "-") {
            if (toStdout != nullptr) {
                throw UsageError(std::string("only one report can go to standard output (") + toStdout + " and " +
                                 targets[i].option + ")");
            }
            toStdout = targets[i].option;
            continue;
        }
        if (target.empty()) {
            throw UsageError(std::string(targets[i].option) + " wants a file name");
        }
        if (isSupportedAudioExtension(lowerExtension(target))) {
            throw UsageError(std::string("refusing to write the ") + targets[i].option + " report over an audio file: " +
                             displayBytes(target));
        }
        for (std::size_t k = 0; k < i; ++k) {
            if (targets[k].target && *targets[k].target != "-" &&
                normalAbsolute(*targets[k].target) == normalAbsolute(target)) {
                throw UsageError(std::string(targets[k].option) + " and " + targets[i].option + " name the same file");
            }
        }
    }
}

void parseShard(const std::string& text, ScanOptions& options)
{
    const auto slash = text.find('/');
    const auto number = [](std::string_view digits, unsigned& out) {
        if (digits.empty() || digits.size() > 6) {
            return false;
        }
        unsigned value = 0;
        for (const char ch : digits) {
            if (ch < '0' || ch > '9') {
                return false;
            }
            value = value * 10 + static_cast<unsigned>(ch - '0');
        }
        out = value;
        return true;
    };
    unsigned index = 0;
    unsigned count = 0;
    if (slash == std::string::npos || !number(std::string_view(text).substr(0, slash), index) ||
        !number(std::string_view(text).substr(slash + 1), count) || count < 1 || index < 1 || index > count) {
        throw UsageError("--shard wants K/N with 1 <= K <= N, not '" + displayBytes(text) + "'");
    }
    options.shardIndex = index;
    options.shardCount = count;
}

} // namespace

ScanCommandLine parseScanCommandLine(const std::vector<std::string>& args)
{
    ScanCommandLine result;
    ScanOptions& options = result.options;
    bool jobsGiven = false;
    std::optional<std::string> sizeText;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            result.command = ScanCommand::Help;
            return result;
        }
        if (arg == "--version") {
            result.command = ScanCommand::Version;
            return result;
        }
        if (arg == "--summary") {
            options.summary = true;
            continue;
        }
        if (arg == "--checks") {
            options.checks = true;
            continue;
        }
        if (arg == "--only-findings") {
            options.onlyFindings = true;
            continue;
        }
        if (arg.starts_with("--color=")) {
            const std::string mode = arg.substr(8);
            if (mode == "auto") {
                options.colour = ColourMode::Auto;
            } else if (mode == "always") {
                options.colour = ColourMode::Always;
            } else if (mode == "never") {
                options.colour = ColourMode::Never;
            } else {
                throw UsageError("--color wants auto, always or never, not '" + displayBytes(mode) + "'");
            }
            continue;
        }
        if (arg == "--with-spectrum") {
            options.withSpectrum = true;
            continue;
        }
        if (arg == "-0" || arg == "--null") {
            options.nulSeparated = true;
            continue;
        }
        if (arg == "--cache-prune") {
            options.cachePrune = true;
            continue;
        }
        if (arg == "--html-pictures") {
            options.htmlPictures = true;
            continue;
        }
        if (arg == "--merge") {
            options.merge = true;
            continue;
        }
        if (arg == "--cache" || arg.starts_with("--cache=")) {
            if (options.cache) {
                throw UsageError("--cache is given twice");
            }
            options.cache = arg == "--cache" ? std::string() : arg.substr(8);
            if (arg != "--cache" && options.cache->empty()) {
                throw UsageError("--cache= wants a file name");
            }
            continue;
        }
        if (arg.starts_with("--progress=")) {
            const std::string mode = arg.substr(11);
            if (mode == "jsonl") {
                options.progress = ProgressMode::Jsonl;
            } else if (mode == "none") {
                options.progress = ProgressMode::None;
            } else if (mode == "auto") {
                options.progress = ProgressMode::Auto;
            } else {
                throw UsageError("--progress wants auto, jsonl or none, not '" + displayBytes(mode) + "'");
            }
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        std::optional<std::string>* target = nullptr;
        if (name == "--spectrogram") {
            target = &options.spectrogramFolder;
        } else if (name == "--size") {
            target = &sizeText;
        } else if (name == "--json") {
            target = &options.jsonTarget;
        } else if (name == "--text") {
            target = &options.textTarget;
        } else if (name == "--csv") {
            target = &options.csvTarget;
        } else if (name == "--jsonl") {
            target = &options.jsonlTarget;
        } else if (name == "--html") {
            target = &options.htmlTarget;
        } else if (name == "--files-from") {
            target = &options.filesFrom;
        } else if (name != "--jobs" && name != "-j" && name != "--shard") {
            throw UsageError("unknown option '" + displayBytes(arg) + "'");
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                throw UsageError("option '" + displayBytes(name) + "' needs a value");
            }
            value = args[++i];
        }
        if (name == "--shard") {
            if (options.shardCount != 1 || options.shardIndex != 1) {
                throw UsageError("--shard is given twice");
            }
            parseShard(*value, options);
        } else if (target == nullptr) {
            if (jobsGiven) {
                throw UsageError("--jobs is given twice");
            }
            jobsGiven = true;
            options.jobs = parseJobs(*value);
        } else {
            if (*target) {
                throw UsageError(displayBytes(name) + " is given twice");
            }
            *target = *value;
        }
    }
    if (options.merge) {
        if (options.paths.empty()) {
            throw UsageError("--merge wants the JSON Lines parts to merge");
        }
        if (!options.jsonTarget && !options.textTarget && !options.csvTarget && !options.jsonlTarget &&
            !options.htmlTarget) {
            throw UsageError("--merge wants a report: --json, --text, --csv, --jsonl or --html");
        }
        if (options.htmlPictures) {
            throw UsageError("--merge reads records only; --html-pictures needs the audio");
        }
        if (options.filesFrom || options.cache || options.shardCount != 1 || options.spectrogramFolder) {
            throw UsageError("--merge reads records only; --files-from, --shard, --cache and --spectrogram do not apply");
        }
    } else if (options.paths.empty() && !options.filesFrom && !options.cachePrune) {
        throw UsageError("no PATH given");
    }
    if (options.cachePrune && !options.cache) {
        throw UsageError("--cache-prune goes with --cache");
    }
    if (options.nulSeparated && !options.filesFrom) {
        throw UsageError("-0 applies to --files-from");
    }
    if (options.htmlPictures && !options.htmlTarget) {
        throw UsageError("--html-pictures applies to --html");
    }
    if (options.withSpectrum && !options.jsonlTarget) {
        throw UsageError("--with-spectrum applies to --jsonl");
    }
    checkTargets(options);
    if (options.spectrogramFolder && options.spectrogramFolder->empty()) {
        throw UsageError("--spectrogram wants a folder name");
    }
    if (sizeText) {
        if (!options.spectrogramFolder) {
            throw UsageError("--size goes with --spectrogram");
        }
        const std::optional<PictureSize> size = parsePictureSize(*sizeText);
        if (!size) {
            throw UsageError("--size wants WIDTHxHEIGHT from " + std::to_string(PictureSize::kMinWidth) + "x" +
                             std::to_string(PictureSize::kMinHeight) + " to " + std::to_string(PictureSize::kMax) +
                             "x" + std::to_string(PictureSize::kMax) + ", not '" + displayBytes(*sizeText) + "'");
        }
        options.pictureSize = *size;
    }
    return result;
}

// --help: the usage lines, what the checks look for, then the rest.
constexpr std::string_view kScanUsageHead =
    "Usage: kestrone-scan [options] PATH...\n";
constexpr std::string_view kScanUsageRest =
    "\n"
    "PATH is a file (of another extension: decoded when its content is one\n"
    "of the formats below) or a folder, walked\n"
    "recursively for .flac .wav .aif .aiff .aifc .m4a .alac .aac .mp3 .wv .ape\n"
    ".tta .tak .ogg .oga .opus .wma .mka .caf files\n"
    "without following symbolic links inside it.\n"
    "\n"
    "Options:\n"
    "  --summary       print each file's full text summary instead of the table\n"
    "  --checks        show the four checks' columns in the table too (shown\n"
    "                  anyway when the terminal is wide enough)\n"
    "  --only-findings  print only files whose conclusion is not \"No trace\n"
    "                   found\" (the reports still hold every file)\n"
    "  --color=WHEN    auto (colour on a terminal unless NO_COLOR is set), always\n"
    "                  or never\n"
    "  --json FILE     write the JSON report to FILE\n"
    "  --text FILE     write the text report to FILE\n"
    "  --csv FILE      write one CSV row per file to FILE\n"
    "  --jsonl FILE    write one JSON object per file to FILE as the files are done\n"
    "                  (input order; the fields are described by\n"
    "                  kestrone-scan-record.schema.json); FILE is emptied at the\n"
    "                  start and a killed run leaves the records done so far\n"
    "                  (FILE '-' is standard output; the table is then left out)\n"
    "  --html FILE     write one self-contained HTML page to FILE: the summary and\n"
    "                  a table of every file that sorts and filters in a browser\n"
    "  --html-pictures  put a small spectrogram of each file into the HTML page\n"
    "  --with-spectrum  put the spectrum into the JSON Lines records\n"
    "                   (needed to --merge into a JSON report)\n"
    "  --files-from LIST  also analyse the paths listed in LIST ('-': standard\n"
    "                     input), one per line\n"
    "  -0, --null      the LIST entries end with NUL bytes instead of line feeds\n"
    "  --shard K/N     analyse only the K-th of N parts of the inputs, chosen by a\n"
    "                  stable hash of each path as named\n"
    "  --merge PART...  read JSON Lines parts of shards and write the reports of\n"
    "                   one run over all their files; every shard's part is needed\n"
    "  --cache[=FILE]  keep results in FILE (default $XDG_CACHE_HOME/kestrone/\n"
    "                  scan-cache.sqlite); unchanged files are not analysed again\n"
    "                  (the spectrum is kept only by runs that report it)\n"
    "  --cache-prune   also remove from the cache the records of files deleted,\n"
    "                  moved or changed since (alone: only that, without PATH)\n"
    "  --progress=MODE  auto (a progress line on a terminal), jsonl (one JSON\n"
    "                   event per line on standard error, messages included) or none\n"
    "  --spectrogram DIR  write a spectrogram picture (PNG) of each file into DIR,\n"
    "                     named after the file (\"Song.flac.png\"; files of the run\n"
    "                     sharing a name: \"Song.flac (1a2b3c4d).png\" from the path);\n"
    "                     the CSV report then names them\n"
    "  --size WxH      size of those pictures (default 1200x700)\n"
    "  --jobs N, -j N  analyse N files at a time (default: one per core)\n"
    "  --help          show this help\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 every file analysed, 1 some file failed or none was found,\n"
    "2 a report could not be written, 64 usage error, 65 a --merge part or a\n"
    "--files-from list cannot be read, 130 interrupted.\n"
    "The table fits the terminal's width (else COLUMNS, else 80 columns).\n";

const char* scanUsageText()
{
    static const std::string text =
        std::string(kScanUsageHead) + std::string(kChecksDescription) + std::string(kScanUsageRest);
    return text.c_str();
}

} // namespace orvel
