// SPDX-License-Identifier: MIT
#include "batch/result_cache.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <system_error>

#include "analysis/analyze_file.h"
#include "report/jsonl_record.h"
#include "text/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// A writer holding the database for longer than this makes a lookup miss
// rather than stall the scan.
constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS records ("
    " path BLOB PRIMARY KEY, size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, inode INTEGER NOT NULL,"
    " version INTEGER NOT NULL, record TEXT NOT NULL, spectrum BLOB NOT NULL)";

bool isDamage(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

class StepError : public CacheError {
public:
    StepError(const std::string& what, int code) : CacheError(what), m_code(code) {}
    [[nodiscard]] int code() const { return m_code; }

private:
    int m_code;
};

void exec(sqlite3* db, const char* sql)
{
    char* message = nullptr;
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        std::string text = message != nullptr ? message : sqlite3_errstr(code);
        sqlite3_free(message);
        throw StepError(sanitizeUtf8(text), code);
    }
}

} // namespace

std::optional<FileIdentity> fileIdentity(const fs::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.path = path.native();
    identity.size = static_cast<std::int64_t>(info.st_size);
    identity.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    identity.inode = static_cast<std::int64_t>(info.st_ino);
    return identity;
}

ResultCache::ResultCache(fs::path file, int analysisVersion) : m_file(std::move(file)), m_version(analysisVersion) {}

ResultCache::~ResultCache()
{
    commit();
    close();
}

void ResultCache::close()
{
    sqlite3_finalize(m_select);
    sqlite3_finalize(m_insert);
    m_select = nullptr;
    m_insert = nullptr;
    if (m_db != nullptr) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void ResultCache::prepare()
{
    const int opened = sqlite3_open_v2(m_file.c_str(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (opened != SQLITE_OK) {
        throw StepError(m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(opened), opened);
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    exec(m_db, "PRAGMA journal_mode=WAL");
    exec(m_db, "PRAGMA synchronous=NORMAL");
    exec(m_db, kSchema);
    // A damaged page shows up on the first read; reading the schema and one
    // row now finds the common cases before the scan relies on the file.
    exec(m_db, "SELECT count(*) FROM (SELECT 1 FROM records LIMIT 1)");
    if (sqlite3_prepare_v2(m_db,
                           "SELECT record, spectrum FROM records WHERE path = ?1 AND size = ?2 AND modified_ns = ?3 "
                           "AND inode = ?4 AND version = ?5",
                           -1, &m_select, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO records VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)", -1, &m_insert,
                           nullptr) != SQLITE_OK) {
        throw StepError(sqlite3_errmsg(m_db), sqlite3_errcode(m_db));
    }
}

std::unique_ptr<ResultCache> ResultCache::open(const fs::path& file, int analysisVersion,
                                               std::vector<std::string>& notices)
{
    std::error_code ec;
    if (file.has_parent_path()) {
        fs::create_directories(file.parent_path(), ec);
    }
    std::unique_ptr<ResultCache> cache(new ResultCache(file, analysisVersion));
    try {
        cache->prepare();
        return cache;
    } catch (const StepError& error) {
        cache->close();
        if (!isDamage(error.code())) {
            throw CacheError("cannot open the cache " + displayName(file) + ": " + error.what());
        }
    }
    // Keep the damaged file for whoever wants to look at it, and start afresh.
    const fs::path aside = fs::path(file.native() + ".damaged");
    fs::rename(file, aside, ec);
    for (const char* suffix : {"-wal", "-shm"}) {
        fs::remove(fs::path(file.native() + suffix), ec);
    }
    notices.push_back("the cache " + displayName(file) + " was damaged; it was moved to " + displayName(aside) +
                      " and a new one is built");
    cache = std::unique_ptr<ResultCache>(new ResultCache(file, analysisVersion));
    try {
        cache->prepare();
    } catch (const StepError& error) {
        throw CacheError("cannot open the cache " + displayName(file) + ": " + error.what());
    }
    return cache;
}

std::optional<FileReport> ResultCache::find(const FileIdentity& identity)
{
    std::string text;
    std::string spectrum;
    {
        std::lock_guard lock(m_mutex);
        sqlite3_reset(m_select);
        sqlite3_bind_blob(m_select, 1, identity.path.data(), static_cast<int>(identity.path.size()), SQLITE_STATIC);
        sqlite3_bind_int64(m_select, 2, identity.size);
        sqlite3_bind_int64(m_select, 3, identity.modifiedNs);
        sqlite3_bind_int64(m_select, 4, identity.inode);
        sqlite3_bind_int(m_select, 5, m_version);
        if (m_damaged || m_select == nullptr) {
            return std::nullopt;
        }
        if (const int step = sqlite3_step(m_select); step != SQLITE_ROW) {
            m_damaged = isDamage(step) || isDamage(sqlite3_reset(m_select));
            sqlite3_reset(m_select);
            return std::nullopt;
        }
        const auto* recordText = reinterpret_cast<const char*>(sqlite3_column_text(m_select, 0));
        text.assign(recordText != nullptr ? recordText : "", static_cast<std::size_t>(sqlite3_column_bytes(m_select, 0)));
        const auto* blob = static_cast<const char*>(sqlite3_column_blob(m_select, 1));
        spectrum.assign(blob != nullptr ? blob : "", static_cast<std::size_t>(sqlite3_column_bytes(m_select, 1)));
        sqlite3_reset(m_select);
    }
    if (spectrum.size() % sizeof(double) != 0) {
        return std::nullopt;
    }
    try {
        JsonlRecord parsed = parseJsonlRecord(text);
        if (parsed.analysisVersion != m_version) {
            return std::nullopt;
        }
        parsed.record.spectrumDb.resize(spectrum.size() / sizeof(double));
        std::memcpy(parsed.record.spectrumDb.data(), spectrum.data(), spectrum.size());
        return std::move(parsed.record);
    } catch (const JsonlError&) {
        return std::nullopt; // a row this build cannot read is analysed again
    }
}

void ResultCache::store(const FileIdentity& identity, const FileReport& record)
{
    if (!record.error.empty()) {
        return;
    }
    Pending pending;
    pending.identity = identity;
    appendJsonlRecord(pending.record, record, 0, false, m_version);
    pending.record.pop_back(); // the line feed
    pending.spectrum.assign(reinterpret_cast<const char*>(record.spectrumDb.data()),
                            record.spectrumDb.size() * sizeof(double));
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(pending));
}

std::size_t ResultCache::queued() const
{
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

bool ResultCache::commit()
{
    std::lock_guard lock(m_mutex);
    if (m_pending.empty() || m_db == nullptr || m_damaged) {
        m_pending.clear();
        return !m_damaged;
    }
    bool ok = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < m_pending.size(); ++i) {
        const Pending& row = m_pending[i];
        sqlite3_reset(m_insert);
        sqlite3_bind_blob(m_insert, 1, row.identity.path.data(), static_cast<int>(row.identity.path.size()),
                          SQLITE_STATIC);
        sqlite3_bind_int64(m_insert, 2, row.identity.size);
        sqlite3_bind_int64(m_insert, 3, row.identity.modifiedNs);
        sqlite3_bind_int64(m_insert, 4, row.identity.inode);
        sqlite3_bind_int(m_insert, 5, m_version);
        sqlite3_bind_text(m_insert, 6, row.record.data(), static_cast<int>(row.record.size()), SQLITE_STATIC);
        sqlite3_bind_blob(m_insert, 7, row.spectrum.data(), static_cast<int>(row.spectrum.size()), SQLITE_STATIC);
        const int step = sqlite3_step(m_insert);
        ok = step == SQLITE_DONE;
        m_damaged = m_damaged || isDamage(step) || isDamage(sqlite3_reset(m_insert));
    }
    ok = ok && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    m_pending.clear();
    return ok;
}

std::string ResultCache::setAsideIfDamaged()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_damaged) {
            return {};
        }
        m_pending.clear();
    }
    close();
    const fs::path aside = fs::path(m_file.native() + ".damaged");
    std::error_code ec;
    fs::rename(m_file, aside, ec);
    for (const char* suffix : {"-wal", "-shm"}) {
        fs::remove(fs::path(m_file.native() + suffix), ec);
    }
    return "the cache " + displayName(m_file) + " turned out to be damaged; it was moved to " + displayName(aside) +
           " and the next scan builds a new one";
}

InputAnalysis cachedAnalysis(ResultCache& cache, std::atomic<std::size_t>& hits)
{
    return [&cache, &hits](const fs::path& path, const std::atomic<bool>& stop, const ProgressCallback& progress,
                           const AnalysisOptions& options, const DecodedAudioHook& withAudio) {
        // The identity is taken before the decoder reads the file: a file
        // that changes meanwhile is stored under its old identity and so
        // analysed again next time.
        const std::optional<FileIdentity> identity = fileIdentity(path);
        // A file whose audio is wanted (a picture) is decoded anyway; its
        // record is still stored for later runs.
        if (identity && !withAudio) {
            if (std::optional<FileReport> stored = cache.find(*identity)) {
                hits.fetch_add(1);
                if (progress) {
                    progress("Cached");
                }
                stored->file = path;
                return std::move(*stored);
            }
        }
        FileReport record = analyzePath(path, stop, progress, options, withAudio);
        if (identity) {
            cache.store(*identity, record);
        }
        return record;
    };
}

fs::path defaultCacheFile()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    fs::path base;
    if (xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".cache";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "kestrone" / "scan-cache.sqlite";
}

} // namespace orvel
