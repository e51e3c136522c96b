// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "batch/input_walker.h"

namespace orvel {

// Paths listed in a file ("-" is standard input), one per line or, with
// nulSeparated, ended by NUL bytes (names may then hold line breaks). Empty
// entries are skipped; nothing else is changed, so any byte but the separator
// may be part of a name. Throws std::runtime_error when the list cannot be read,
// and Cancelled when a stop is requested before it ends, however long the
// list's writer keeps it open.
[[nodiscard]] std::vector<std::filesystem::path> readPathList(const std::filesystem::path& list, bool nulSeparated,
                                                            const std::atomic<bool>& stopRequested);
// The same, handing each path over as soon as it is read, so a long list is
// never held whole.
void readPathList(const std::filesystem::path& list, bool nulSeparated, const std::atomic<bool>& stopRequested,
                  const std::function<void(std::filesystem::path&&)>& onPath);

// One of count disjoint parts of an input list; index counts from 1.
struct Shard {
    unsigned index = 1;
    unsigned count = 1;
};

// A hash of the bytes that is the same on every machine and every run
// (64-bit FNV-1a).
[[nodiscard]] std::uint64_t stableHash(std::string_view bytes);

// Whether an input belongs to the shard: decided by the stable hash of the
// path as it was named (the form given on the command line or in the list,
// with walked files below it), so every machine given the same names splits
// the library the same way.
[[nodiscard]] bool inShard(const BatchInput& input, const Shard& shard);

} // namespace orvel
