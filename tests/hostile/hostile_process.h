// SPDX-License-Identifier: MIT
#pragma once

// Runs kestrone or kestrone-scan as a child the way a script would, with
// limits set in the child before exec, and reports how it ended and the most
// memory it held. A child that outlives its time is killed, so a hang fails
// the test instead of stalling the suite.
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace kestrone_hostile {

struct RunOptions {
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool dropRoot = false; // when run as root, the child becomes nobody (65534)
    int timeoutSeconds = 120;
};

struct RunResult {
    int exitCode = -1; // 128 + signal when a signal ended the child
    bool timedOut = false;
    long maxRssKiB = 0;
    std::string out;
    std::string err;
};

[[nodiscard]] RunResult runTool(const std::string& program, const std::vector<std::string>& args,
                                const RunOptions& options = {});

[[nodiscard]] inline std::string kestrone() { return KESTRONE_EXECUTABLE; }

// kestrone --analyze-test REPORT FILE...: args are the report, then the files.
[[nodiscard]] inline RunResult runAnalysis(std::vector<std::string> args, const RunOptions& options = {})
{
    args.insert(args.begin(), "--analyze-test");
    return runTool(kestrone(), args, options);
}
[[nodiscard]] inline std::string kestroneScan() { return KESTRONE_BINARY_DIR "/scan/kestrone-scan"; }

// A file of this suite's test audio (tools/test-audio/hostile.sh).
[[nodiscard]] std::filesystem::path hostileAudio(const std::string& name);

// Every regular file of one folder of the suite's audio, in name order.
[[nodiscard]] std::vector<std::filesystem::path> hostileFiles(const std::string& folder);

// True when running as root: file permissions then stop nobody.
[[nodiscard]] bool runningAsRoot();

} // namespace kestrone_hostile
