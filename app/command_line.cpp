// SPDX-License-Identifier: MIT
#include "app/command_line.h"

#include <cstring>

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
    result.mode = RunMode::Window;
    if (count > 1) {
        result.inputs.assign(args.begin() + 1, args.end());
    }
    return result;
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
