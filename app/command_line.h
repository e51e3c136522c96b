// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace orvel {

// What the process does, decided from argv alone before anything else exists.
enum class RunMode {
    Window,      // every command line that is not one of the headless forms
    MathTest,    // --math-test [ignored...]
    AnalyzeTest, // --analyze-test OUTPUT FILE...
    DecodeTest,  // --decode-test INPUT OUTPUT
    Help,        // --help alone
    Version,     // --version alone
    Usage,       // a headless switch with too few or too many arguments
};

struct CommandLine {
    RunMode mode = RunMode::Window;
    std::string outputPath;          // AnalyzeTest, DecodeTest; bytes as given
    std::vector<std::string> inputs; // AnalyzeTest: the files; DecodeTest: the input; Window: every argument
    std::string usageError;          // Usage: what is wrong, without the program name
};

// args[0] is the program. The switches are compared exactly (case-sensitive)
// in the order math, analyze, decode, help, version. A first argument that is
// --analyze-test or --decode-test with the wrong argument count is a usage
// error (never the window: a script with an empty glob must not hang); a
// switch elsewhere is window mode with all arguments as paths.
[[nodiscard]] CommandLine parseCommandLine(const std::vector<std::string>& args);

// What --help prints: every form of the command line and its exit codes. The
// manual page is made from it, so it is the one description of them.
[[nodiscard]] const char* usageText();

// The same for main's argv. Arguments stay the bytes they are, so a name that
// is not valid UTF-8 still opens.
[[nodiscard]] CommandLine parseCommandLine(int argc, const char* const* argv);

} // namespace orvel
