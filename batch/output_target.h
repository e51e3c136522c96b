// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvel {

// What a written path is for. Reports, pictures and decoded samples replace
// a file whole; the cache is a database kept and changed in place, so only a
// regular, writable file that is empty or an SQLite database can be one.
enum class OutputKind { Report, Picture, DecodedSamples, Cache };

// The one judge of every path a run writes: reports, pictures, decoded
// samples, the cache, merged reports and the window's exports all ask it
// before they write anything. An output is refused when, after following
// links (same device and inode), it is one of the files the run reads (its
// inputs, the parts of a merge) or another output of the run; when it is an
// existing audio file, by its extension or by its content, whatever its name;
// when its content cannot be read to tell; and, for the cache, when it is not a
// regular file, is read-only, or holds anything but an SQLite database. A link
// to an unrelated report stays writable: its target is replaced and the link
// kept. A device or pipe that is not the cache keeps no content and passes.
//
// refused() only reads, so threads writing pictures may share one guard;
// protect() and claim() are for the single thread that sets the run up.
class OutputGuard {
public:
    // Files the run reads; messages name them with noun ("input", "part").
    // Each is examined once, here.
    void protect(const std::vector<std::filesystem::path>& files, std::string_view noun = "input");

    // Why output must not be written as kind; empty when it may.
    [[nodiscard]] std::string refused(const std::filesystem::path& output, OutputKind kind) const;

    // refused(), and when the output may be written, it becomes one of the
    // run's outputs: a later one with the same name or the same file is
    // refused. what names it in that message ("the --csv report", "the cache").
    [[nodiscard]] std::string claim(const std::filesystem::path& output, OutputKind kind, std::string what);

private:
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    struct Protected {
        Identity identity;
        std::filesystem::path path;
        std::string noun;
    };
    struct Claimed {
        std::filesystem::path normal; // absolute and lexically normal
        std::string what;
    };
    std::vector<Protected> m_protected; // sorted by identity
    std::vector<Claimed> m_claimed;
};

// True when the file begins with the header every SQLite 3 database has: only
// such a file may be taken for a damaged cache and set aside.
[[nodiscard]] bool startsAsSqliteDatabase(const std::filesystem::path& file);

// One output judged against the files one command reads (see OutputGuard).
[[nodiscard]] std::string refusedOutputReason(const std::filesystem::path& output,
                                              const std::vector<std::filesystem::path>& inputs,
                                              OutputKind kind = OutputKind::Report);

} // namespace orvel
