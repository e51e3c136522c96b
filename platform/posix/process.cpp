// SPDX-License-Identifier: MIT
#include "platform/process.h"

#include <dlfcn.h>
#include <malloc.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace orvel {
namespace {

void (*g_onStop)() = nullptr;

extern "C" void forwardStopSignal(int)
{
    if (g_onStop != nullptr) {
        g_onStop();
    }
}

} // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

void prepareConsoleProgram()
{
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

void onStopRequest(void (*onStop)())
{
    g_onStop = onStop;
    struct sigaction action {};
    action.sa_handler = forwardStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // writes to a pipe or terminal go on after the signal
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal went away
}

void exitImmediately(int code) noexcept { ::_exit(code); }

bool isTerminal(int fd) { return ::isatty(fd) == 1; }

std::size_t terminalWidth(int fd)
{
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 0;
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

std::filesystem::path userCacheFolder()
{
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".cache";
    }
    return {};
}

void* loadLibrary(const std::string& name, std::string& reason)
{
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        reason = why != nullptr ? why : "unknown reason";
    }
    return library;
}

void* librarySymbol(void* library, const char* name) { return dlsym(library, name); }

void keepHeapBetweenFiles()
{
    constexpr int kLargestFromHeap = 32 << 20; // the C library's upper bound for this setting
    (void)::mallopt(M_MMAP_THRESHOLD, kLargestFromHeap);
    (void)::mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

// Buffers given back, whole 2 MB pages each: the C library would hand their
// memory back to the kernel (a thread's heap that empties is unmapped), and
// the next file's buffers would be faulted in and zeroed again.
struct KeptBuffers {
    std::mutex mutex;
    std::vector<std::pair<void*, std::size_t>> buffers; // start, whole bytes
    std::size_t bytes = 0;
};

KeptBuffers& keptBuffers()
{
    static KeptBuffers* kept = new KeptBuffers; // outlives every static that frees a buffer
    return *kept;
}

std::size_t wholePages(std::size_t bytes)
{
    const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    if (whole < bytes) {
        throw std::bad_alloc();
    }
    return whole;
}

} // namespace

void* allocateLargeBuffer(std::size_t bytes)
{
    const std::size_t whole = wholePages(bytes);
    {
        // The smallest kept buffer that fits and wastes no more than it holds.
        KeptBuffers& kept = keptBuffers();
        const std::lock_guard lock(kept.mutex);
        auto best = kept.buffers.end();
        for (auto it = kept.buffers.begin(); it != kept.buffers.end(); ++it) {
            if (it->second >= whole && it->second / 2 <= whole &&
                (best == kept.buffers.end() || it->second < best->second)) {
                best = it;
            }
        }
        if (best != kept.buffers.end()) {
            void* data = best->first;
            kept.bytes -= best->second;
            kept.buffers.erase(best);
            return data;
        }
    }
    void* data = std::aligned_alloc(kHugePage, whole);
    if (data == nullptr) {
        throw std::bad_alloc();
    }
    (void)::madvise(data, whole, MADV_HUGEPAGE);
    return data;
}

void releaseLargeBuffer(void* data, std::size_t bytes) noexcept
{
    const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    try {
        KeptBuffers& kept = keptBuffers();
        const std::lock_guard lock(kept.mutex);
        if (kept.bytes + whole <= kKeptBytes) {
            kept.buffers.emplace_back(data, whole);
            kept.bytes += whole;
            return;
        }
    } catch (...) {
        // No room to note it: it goes back to the C library below.
    }
    std::free(data);
}

} // namespace orvel
