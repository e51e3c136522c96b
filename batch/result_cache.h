// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"
#include "batch/analyze_path.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orvel {

// What identifies one state of a file: a record made for it stays valid while
// the path, size, modification time, change time and inode are the same. The
// change time cannot be set back by the file's owner, so a file rewritten in
// place with its modification time restored still counts as changed.
struct FileIdentity {
    std::string path; // the bytes of the absolute path
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    std::int64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of a file now; empty when it cannot be read.
[[nodiscard]] std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);

class CacheError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file is something else than a cache (another program's database, or
// no database at all) and is left as it is.
class CacheRefused : public CacheError {
public:
    using CacheError::CacheError;
};

// Finished records on disk (SQLite, WAL journal), so a scan over an unchanged
// library decodes nothing again. Records are valid for the analysis version
// they were made by. Lookups may come from any thread; stored records wait in
// memory until commit(), which writes them in one transaction, so a process
// killed at any moment leaves the database as of its last commit. Several
// processes may share one file.
class ResultCache {
public:
    // Opens or creates the database (and its folder). A damaged database (a
    // file that starts as one) is renamed to "<file>.damaged" (or
    // ".damaged-2", ...: nothing is replaced) and a new one made; notices
    // then holds a line saying so. Throws CacheRefused for a file that is not
    // a database of this cache, CacheError when no database can be had there.
    static std::unique_ptr<ResultCache> open(const std::filesystem::path& file, int analysisVersion,
                                             std::vector<std::string>& notices);
    ~ResultCache();
    ResultCache(const ResultCache&) = delete;
    ResultCache& operator=(const ResultCache&) = delete;

    // The record stored for exactly this identity and the analysis version;
    // with withSpectrum only one stored with its spectrum.
    [[nodiscard]] std::optional<FileReport> find(const FileIdentity& identity, bool withSpectrum);
    // Queues a finished record (failed records are not kept: the failure may
    // pass). The spectrum (16 KB) is kept only withSpectrum, for runs that
    // report it.
    void store(const FileIdentity& identity, const FileReport& record, bool withSpectrum);
    // Writes the queued records. False (and the records dropped) when the write failed.
    bool commit();
    [[nodiscard]] std::size_t queued() const;
    // Writes the queued records, then removes the records of files that are
    // gone from their path (deleted or moved), changed since, or made by
    // another analysis version, and gives their room back. Returns how many
    // went; throws CacheError when the database cannot be changed.
    std::size_t prune();

    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

    // Damage found while reading or writing (the open found none): the
    // lookups then miss. setAsideIfDamaged closes such a database, renames it
    // as open() does so the next scan builds a new one, and returns the
    // notice; empty when nothing was wrong.
    [[nodiscard]] std::string setAsideIfDamaged();

private:
    ResultCache(std::filesystem::path file, int analysisVersion);
    void prepare();
    void close();
    void migrate();

    struct Pending {
        FileIdentity identity;
        std::string record;
        std::optional<std::string> spectrum;
    };

    std::filesystem::path m_file;
    int m_version = 0;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_select = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    mutable std::mutex m_mutex;
    std::vector<Pending> m_pending; // guarded by m_mutex
    bool m_damaged = false;         // guarded by m_mutex
};

// The analysis behind a cache, in place of analyzePath: a file with a stored
// record for its current identity is not decoded (unless its audio is wanted
// by withAudio); any other is analysed and its record stored. withSpectrum:
// the run reports spectra, so they are stored and a record without one does
// not do. hits counts the records that came from the cache.
[[nodiscard]] InputAnalysis cachedAnalysis(ResultCache& cache, std::atomic<std::size_t>& hits, bool withSpectrum);

// Where --cache puts the database without a name: $XDG_CACHE_HOME/kestrone/,
// else ~/.cache/kestrone/.
[[nodiscard]] std::filesystem::path defaultCacheFile();

} // namespace orvel
