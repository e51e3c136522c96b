// SPDX-License-Identifier: MIT
// The built programs, and kestrone run the way the tests run it, on Linux and Windows alike.
#include "tests/support/process.h"

namespace orvel::testing {

std::string kestroneProgram() { return KESTRONE_EXECUTABLE; }
std::string scanProgram() { return KESTRONE_SCAN_EXECUTABLE; }

ProcessResult runKestrone(std::vector<std::string> args, const ProcessOptions& options)
{
    args.insert(args.begin(), kestroneProgram());
    return runProcess(args, options);
}

ProcessResult runAnalysis(std::vector<std::string> args, const ProcessOptions& options)
{
    args.insert(args.begin(), "--analyze-test");
    return runKestrone(std::move(args), options);
}

} // namespace orvel::testing
