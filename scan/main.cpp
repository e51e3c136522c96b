// SPDX-License-Identifier: MIT
// kestrone-scan: the analysis for terminals, scripts and servers.
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "report/replacing_file_writer.h"
#include "text/utf8.h"
#include "scan/report_outputs.h"
#include "scan/scan_options.h"
#include "scan/scan_run.h"
#include "scan/terminal_text.h"

namespace {

std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

// Async-signal-safe: the first Ctrl-C (or SIGTERM, SIGHUP) asks the pool to stop; a
// second one, while the run winds down, ends the process at once, taking the
// unfinished reports' temporaries with it.
extern "C" void onInterrupt(int)
{
    if (g_stopRequested.exchange(true)) {
        orvel::removePendingTemporaries();
        orvel::sayWhichReportsWereWritten(STDERR_FILENO);
        ::_exit(orvel::kScanExitInterrupted);
    }
}

void installInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // writes to a pipe or terminal go on after the signal
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal went away
}

unsigned availableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

void printError(const std::string& message, bool asEvent)
{
    std::fputs(orvel::noticeLine(message, asEvent).c_str(), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    // A report that hits the file size limit must fail with a message and exit
    // code 2, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
    // Likewise a closed stdout (| head) must not kill the run before the
    // report files are written; writes then fail with EPIPE instead.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(argv[i]);
    }
    // Looked for before the command line is read, so that a usage error is an
    // event too when events were asked for.
    bool asEvents = false;
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        asEvents = asEvents || arg == "--progress=jsonl";
    }
    try {
        const orvel::ScanCommandLine commandLine = orvel::parseScanCommandLine(args);
        if (commandLine.command == orvel::ScanCommand::Help) {
            std::fputs(orvel::scanUsageText(), stdout);
            return std::fflush(stdout) == 0 ? 0 : orvel::kScanExitReportFailed;
        }
        if (commandLine.command == orvel::ScanCommand::Version) {
            std::fputs("kestrone-scan " KESTRONE_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : orvel::kScanExitReportFailed;
        }

        installInterruptHandler();
        orvel::ScanTerminal terminal;
        terminal.stdoutIsTerminal = ::isatty(STDOUT_FILENO) == 1;
        const char* noColour = std::getenv("NO_COLOR");
        switch (commandLine.options.colour) {
        case orvel::ColourMode::Always: terminal.colour = true; break;
        case orvel::ColourMode::Never: terminal.colour = false; break;
        case orvel::ColourMode::Auto:
            terminal.colour = terminal.stdoutIsTerminal && (noColour == nullptr || *noColour == '\0');
            break;
        }
        // A pipe or file has no width: the table is cut only to a COLUMNS given.
        terminal.columns = terminal.stdoutIsTerminal ? orvel::terminalColumns(STDOUT_FILENO) : orvel::environmentColumns();
        terminal.progress = ::isatty(STDERR_FILENO) == 1;
        terminal.defaultJobs = availableCores();
        if (commandLine.options.merge) {
            return orvel::runMerge(commandLine.options, terminal);
        }
        return orvel::runScan(commandLine.options, g_stopRequested, terminal);
    } catch (const orvel::UsageError& error) {
        printError(std::string(error.what()) + (asEvents ? "" : "\nTry 'kestrone-scan --help' for more information."),
                   asEvents);
        return orvel::kScanExitUsage;
    } catch (const std::exception& error) {
        printError(error.what(), asEvents);
        return orvel::kScanExitFileFailed;
    }
}
