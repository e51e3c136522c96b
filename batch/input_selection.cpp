// SPDX-License-Identifier: MIT
#include "batch/input_selection.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "decode/cancellation.h"
#include "platform/file_system.h"
#include "text/utf8.h"

namespace orvel {

namespace {

// How long reading a list waits for more of it before it looks at the stop flag again.
constexpr int kStopCheckMilliseconds = 100;

} // namespace

std::vector<std::filesystem::path> readPathList(const std::filesystem::path& list, bool nulSeparated,
                                                const std::atomic<bool>& stopRequested)
{
    std::vector<std::filesystem::path> paths;
    readPathList(list, nulSeparated, stopRequested,
                 [&paths](std::filesystem::path&& path) { paths.push_back(std::move(path)); });
    return paths;
}

void readPathList(const std::filesystem::path& list, bool nulSeparated, const std::atomic<bool>& stopRequested,
                  const std::function<void(std::filesystem::path&&)>& onPath)
{
    const bool fromStdin = list == "-";
    const int in = fromStdin ? STDIN_FILENO : openForReading(list);
    if (in < 0) {
        throw std::runtime_error("cannot read the list " + displayName(list) + ": " + std::strerror(errno));
    }
    const auto closeList = [&] {
        if (!fromStdin) {
            ::close(in);
        }
    };
    const char separator = nulSeparated ? '\0' : '\n';
    std::string entry;
    char buffer[65536];
    // A pipe or terminal may hold the list back for ever: wait for it in
    // short steps, so that a stop (whose signal handler restarts a plain
    // read) ends the wait.
    for (;;) {
        if (stopRequested.load()) {
            closeList();
            throw Cancelled();
        }
        const int events = waitForInput(in, kStopCheckMilliseconds);
        if (events == 0 || (events < 0 && errno == EINTR)) {
            continue;
        }
        const ssize_t got = events < 0 ? -1 : ::read(in, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got < 0) {
            closeList();
            throw std::runtime_error("cannot read the list " + displayName(list));
        }
        if (got == 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] != separator) {
                entry += buffer[i];
            } else if (!entry.empty()) {
                try {
                    onPath(pathFromBytes(entry));
                } catch (...) {
                    closeList();
                    throw;
                }
                entry.clear();
            }
        }
    }
    closeList();
    if (!entry.empty()) {
        onPath(pathFromBytes(entry));
    }
}

std::uint64_t stableHash(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool inShard(const BatchInput& input, const Shard& shard)
{
    if (shard.count <= 1) {
        return true;
    }
    return stableHash(pathBytes(input.shown)) % shard.count == shard.index - 1;
}

} // namespace orvel
