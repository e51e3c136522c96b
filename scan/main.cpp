// SPDX-License-Identifier: MIT
// kestrone-scan: the analysis for terminals, scripts and servers.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/process.h"
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
void onInterrupt()
{
    if (g_stopRequested.exchange(true)) {
        orvel::removePendingTemporaries();
        orvel::sayWhichReportsWereWritten(STDERR_FILENO);
        orvel::exitImmediately(orvel::kScanExitInterrupted);
    }
}

void printError(const std::string& message, bool asEvent)
{
    std::fputs(orvel::noticeLine(message, asEvent).c_str(), stderr);
}

} // namespace

int main(int argc, char** argv)
{
    // A report that hits the file size limit must fail with a message and exit
    // code 2, and a closed stdout (| head) must not end the run before the
    // report files are written.
    orvel::prepareConsoleProgram();

    const std::vector<std::string> args = orvel::commandLineArguments(argc, argv);
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

        orvel::onStopRequest(onInterrupt);
        orvel::ScanTerminal terminal;
        terminal.stdoutIsTerminal = orvel::isTerminal(STDOUT_FILENO);
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
        terminal.progress = orvel::isTerminal(STDERR_FILENO);
        terminal.defaultJobs = orvel::availableCores();
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
