// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace orvel {

// The arguments after the program name, as UTF-8: on Linux the bytes given,
// on Windows the wide command line converted (argv there is in the ANSI code page).
[[nodiscard]] std::vector<std::string> commandLineArguments(int argc, char** argv);

// What a command-line program needs before it writes anything: a report that
// hits the file size limit or a closed stdout (| head) makes writes fail
// instead of ending the process (Linux); output is UTF-8 and written byte for
// byte, without line-end translation, so reports match Linux (Windows).
void prepareConsoleProgram();

// Calls onStop on Ctrl-C, a termination request or the terminal going away.
// onStop must be async-signal-safe: on Linux it runs in a signal handler, on
// Windows on a thread of the console.
void onStopRequest(void (*onStop)());

// Ends the process at once with code, without running destructors or atexit
// handlers; async-signal-safe.
[[noreturn]] void exitImmediately(int code) noexcept;

// Whether fd is a terminal (a console on Windows).
[[nodiscard]] bool isTerminal(int fd);

// The width of the terminal on fd in columns, or 0 when it has none.
[[nodiscard]] std::size_t terminalWidth(int fd);

// The cores this process may run on.
[[nodiscard]] unsigned availableCores();

// The folder for per-user caches: $XDG_CACHE_HOME (when absolute) or
// $HOME/.cache on Linux, %LOCALAPPDATA% on Windows; empty when none is set.
[[nodiscard]] std::filesystem::path userCacheFolder();

// A shared library by name, loaded with its dependencies resolved at once;
// nullptr with the loader's reason in reason.
[[nodiscard]] void* loadLibrary(const std::string& name, std::string& reason);
[[nodiscard]] void* librarySymbol(void* library, const char* name);

// Keeps freed memory in the process between files rather than giving it back
// and faulting it in again: blocks up to 32 MB come from the heap, which is
// trimmed only past 1 GB (glibc's malloc; elsewhere nothing changes).
void keepHeapBetweenFiles();

// A large buffer on whole 2 MB pages: a decoded channel is written once from
// start to end, and one fault per 2 MB instead of per 4 KB is most of the cost
// of filling it. The buffer starts on a 2 MB boundary and is advised for
// transparent huge pages where the kernel offers them (elsewhere it is plain
// memory). Throws std::bad_alloc; give it back with releaseLargeBuffer and the
// same size. Given-back buffers (up to 256 MB) are kept for the next files of a
// batch, whose buffers then cost no page faults and no zeroing by the kernel.
[[nodiscard]] void* allocateLargeBuffer(std::size_t bytes);
void releaseLargeBuffer(void* data, std::size_t bytes) noexcept;

} // namespace orvel
