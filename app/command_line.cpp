// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <cstring>
#include <string>
#include <string_view>

#include "report/about_text.h"
#include "text/utf8.h"

namespace orvel {

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine result;
    const std::size_t count = args.size();
    if (count >= 2 && args[1] == "--math-test") {
        result.mode = RunMode::MathTest;
        return result;
    }
    if (count >= 4 && args[1] == "--analyze-test") {
        result.mode = RunMode::AnalyzeTest;
        result.outputPath = args[2];
        result.inputs.assign(args.begin() + 3, args.end());
        return result;
    }
    if (count == 4 && args[1] == "--decode-test") {
        result.mode = RunMode::DecodeTest;
        result.inputs.push_back(args[2]);
        result.outputPath = args[3];
        return result;
    }
    if (count >= 2 && args[1] == "--analyze-test") {
        result.mode = RunMode::Usage;
        result.usageError = "--analyze-test wants an OUTPUT and at least one FILE";
        return result;
    }
    if (count >= 2 && args[1] == "--decode-test") {
        result.mode = RunMode::Usage;
        result.usageError = "--decode-test wants exactly an INPUT and an OUTPUT";
        return result;
    }
    if (count == 2 && args[1] == "--help") {
        result.mode = RunMode::Help;
        return result;
    }
    if (count == 2 && args[1] == "--version") {
        result.mode = RunMode::Version;
        return result;
    }
    result.mode = RunMode::Window;
    if (count > 1) {
        result.inputs.assign(args.begin() + 1, args.end());
    }
    return result;
}

// --help: the usage lines, what the checks look for, then the rest.
constexpr std::string_view kUsageHead =
    "Usage: kestrone [PATH...]\n"
    "  or:  kestrone --math-test\n"
    "  or:  kestrone --analyze-test OUTPUT FILE...\n"
    "  or:  kestrone --decode-test INPUT OUTPUT\n";
constexpr std::string_view kUsageRest =
    "\n"
    "Without a switch the window opens with every PATH queued; a folder is\n"
    "scanned recursively. The switches below need no display, print nothing\n"
    "and answer only through their exit code and output file, which is\n"
    "written beside the target and renamed over it when complete. An\n"
    "OUTPUT that is (through links) one of the inputs or an existing audio\n"
    "file is refused before anything is written. A switch with the wrong\n"
    "number of arguments, or an OUTPUT refused, prints why and exits with\n"
    "status 64; a switch that is not the first argument opens the window\n"
    "with every argument queued as a path.\n"
    "\n"
    "Options:\n"
    "  --math-test     check the FFT and the sine-window MDCT against their\n"
    "                  direct definitions (further arguments are ignored);\n"
    "                  exit status 0 passed, 1 failed\n"
    "  --analyze-test OUTPUT FILE...\n"
    "                  analyse every FILE in order and write the JSON report\n"
    "                  of all of them to OUTPUT; exit status 0 every file\n"
    "                  analysed, 1 some file failed, 2 OUTPUT could not be\n"
    "                  written\n"
    "  --decode-test INPUT OUTPUT\n"
    "                  write the decoded samples of INPUT to OUTPUT as\n"
    "                  headerless interleaved little-endian 64-bit floats\n"
    "                  (full scale 1.0); exit status 0 written, 1 decoding\n"
    "                  failed (OUTPUT untouched), 2 OUTPUT could not be written\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "\n"
    "Exit status:\n"
    "  0  the window was closed, or the switch succeeded\n"
    "  1  the window could not open (no display), the math test failed,\n"
    "     some file could not be analysed, or INPUT could not be decoded\n"
    "  2  the report or OUTPUT could not be written\n"
    "  64 wrong arguments to a switch, or OUTPUT refused\n"
    "  130 interrupted (SIGINT or SIGTERM); OUTPUT is left as it was\n"
    "\n"
    "kestrone-scan runs the same analysis on terminals and in scripts.\n";

const char* usageText()
{
    static const std::string text =
        std::string(kUsageHead) + std::string(kChecksDescription) + std::string(kUsageRest);
    return text.c_str();
}

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc && argv[i] != nullptr; ++i) {
        args.emplace_back(argv[i]);
    }
    return parseCommandLine(args);
}

} // namespace orvel
