// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>

#include "app/command_line.h"
#include "app/headless_modes.h"
#include "app/window_mode.h"
#include "report/replacing_file_writer.h"

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

// Async-signal-safe: the first SIGINT, SIGTERM or SIGHUP asks the headless mode to
// stop (it then removes its temporary on the way out); a second one ends the
// process at once and removes the temporaries itself.
extern "C" void onStopSignal(int)
{
    if (g_stopRequested.exchange(true)) {
        orvel::removePendingTemporaries();
        ::_exit(orvel::kHeadlessExitInterrupted);
    }
}

void installStopHandler()
{
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal went away
}

int runWindow([[maybe_unused]] int& argc, [[maybe_unused]] char** argv,
              [[maybe_unused]] const std::vector<std::string>& paths)
{
#ifdef KESTRONE_HAVE_UI
    // Qt wants at least the program name, even when execve passed none.
    static char programName[] = "kestrone";
    static char* fallbackArgv[] = {programName, nullptr};
    if (argc < 1) {
        argc = 1;
        argv = fallbackArgv;
    }
    return orvel::runWindowMode(argc, argv, paths);
#else
    std::fputs("kestrone: this build has no window; kestrone-scan analyses files on a terminal\n", stderr);
    return 1;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    // Past the file size limit, write() must fail with EFBIG so the writer can
    // keep the old output, instead of the signal ending the process. A reader
    // that goes away likewise becomes a failed write, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    // No locale is ever taken from the environment: every text and number is
    // formatted the same under any LC_ALL.
    try {
        const orvel::CommandLine commandLine = orvel::parseCommandLine(argc, argv);
        switch (commandLine.mode) {
        case orvel::RunMode::MathTest:
            return orvel::runMathTestMode();
        case orvel::RunMode::AnalyzeTest:
            installStopHandler();
            return orvel::runAnalyzeTestMode(
                commandLine.outputPath,
                std::vector<std::filesystem::path>(commandLine.inputs.begin(), commandLine.inputs.end()),
                g_stopRequested);
        case orvel::RunMode::DecodeTest:
            installStopHandler();
            return orvel::runDecodeTestMode(commandLine.inputs.front(), commandLine.outputPath, g_stopRequested);
        case orvel::RunMode::Usage:
            std::fprintf(stderr, "kestrone: %s\nTry 'kestrone --help' for more information.\n",
                         commandLine.usageError.c_str());
            return orvel::kHeadlessExitUsage;
        case orvel::RunMode::Help:
            std::fputs(orvel::usageText(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case orvel::RunMode::Version:
            std::fputs("kestrone " KESTRONE_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case orvel::RunMode::Window:
            return runWindow(argc, argv, commandLine.inputs);
        }
    } catch (...) {
        // Out of memory while reading the arguments, or anything a mode let
        // through: fail without a word, as every headless mode does.
    }
    return 1;
}
