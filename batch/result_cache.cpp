// SPDX-License-Identifier: MIT
#include "batch/result_cache.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "analysis/analyze_file.h"
#include "batch/output_target.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "report/jsonl_record.h"
#include "text/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// A writer holding the database for longer than this makes a lookup miss
// rather than stall the scan.
constexpr int kBusyTimeoutMs = 30000;

// The layout of the table, in PRAGMA user_version. A database of another
// layout holds only records that can be made again: its table is replaced.
constexpr int kLayout = 2;
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS records ("
    " path BLOB PRIMARY KEY, size INTEGER NOT NULL, modified_ns INTEGER NOT NULL, changed_ns INTEGER NOT NULL,"
    " inode INTEGER NOT NULL, version INTEGER NOT NULL, record TEXT NOT NULL, spectrum BLOB)";

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

// Moves a damaged database out of the way without replacing any file: the
// first free name of "<file>.damaged", "<file>.damaged-2", ... Only a file
// that starts as a database is moved. Empty when it stays where it is.
fs::path setAside(const fs::path& file)
{
    if (!startsAsSqliteDatabase(file)) {
        return {};
    }
    for (int attempt = 1; attempt <= 100; ++attempt) {
        std::string name = pathBytes(file) + ".damaged";
        if (attempt > 1) {
            // Built in steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "-" + std::to_string(n).
            name += '-';
            name += std::to_string(attempt);
        }
        const fs::path aside = pathFromBytes(name);
        if (const int error = renameWithoutReplacing(file, aside); error == EEXIST) {
            continue;
        } else if (error != 0) {
            return {};
        }
        std::error_code ec;
        for (const char* suffix : {"-wal", "-shm"}) {
            fs::remove(pathFromBytes(pathBytes(file) + suffix), ec);
        }
        return aside;
    }
    return {};
}

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
    FileStatus status;
    int error = 0;
    if (!statusOf(path, status, error) || !status.regular()) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.path = pathBytes(path);
    identity.size = status.size;
    identity.modifiedNs = status.modifiedNs;
    identity.changedNs = status.changedNs;
    identity.inode = static_cast<std::int64_t>(status.inode);
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
    const int opened = sqlite3_open_v2(pathBytes(m_file).c_str(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (opened != SQLITE_OK) {
        throw StepError(m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(opened), opened);
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    exec(m_db, "PRAGMA journal_mode=WAL");
    exec(m_db, "PRAGMA synchronous=NORMAL");
    migrate();
    // A damaged page shows up on the first read; reading the schema and one
    // row now finds the common cases before the scan relies on the file.
    exec(m_db, "SELECT count(*) FROM (SELECT 1 FROM records LIMIT 1)");
    if (sqlite3_prepare_v2(m_db,
                           "SELECT record, spectrum FROM records WHERE path = ?1 AND size = ?2 AND modified_ns = ?3 "
                           "AND changed_ns = ?4 AND inode = ?5 AND version = ?6",
                           -1, &m_select, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO records VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)", -1,
                           &m_insert, nullptr) != SQLITE_OK) {
        throw StepError(sqlite3_errmsg(m_db), sqlite3_errcode(m_db));
    }
}

namespace {

int singleInteger(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    int value = 0;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        throw StepError(sqlite3_errmsg(db), sqlite3_errcode(db));
    }
    const int step = sqlite3_step(statement);
    if (step == SQLITE_ROW) {
        value = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
    if (step != SQLITE_ROW) {
        throw StepError(sqlite3_errmsg(db), step);
    }
    return value;
}

} // namespace

void ResultCache::migrate()
{
    // Another program's database holds more than this table: it is not ours
    // to change.
    if (singleInteger(m_db, "SELECT count(*) FROM sqlite_master WHERE name <> 'records' AND name NOT LIKE 'sqlite%'") >
        0) {
        throw CacheRefused("refusing to use " + displayName(m_file) +
                           " as the cache: it is an SQLite database of another program");
    }
    if (singleInteger(m_db, "PRAGMA user_version") == kLayout) {
        return;
    }
    // Several scans may open an old cache at once: the first one rebuilds it.
    exec(m_db, "BEGIN IMMEDIATE");
    try {
        const bool stale = singleInteger(m_db, "PRAGMA user_version") != kLayout;
        const bool rebuilt =
            stale && singleInteger(m_db, "SELECT count(*) FROM sqlite_master WHERE name = 'records'") > 0;
        if (stale) {
            exec(m_db, "DROP TABLE IF EXISTS records");
            exec(m_db, kSchema);
            exec(m_db, ("PRAGMA user_version=" + std::to_string(kLayout)).c_str());
        }
        exec(m_db, "COMMIT");
        if (rebuilt) {
            sqlite3_exec(m_db, "VACUUM", nullptr, nullptr, nullptr); // the old records' room
        }
    } catch (const StepError&) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
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
    } catch (const CacheRefused&) {
        cache->close();
        throw;
    }
    // Keep the damaged file for whoever wants to look at it, and start afresh.
    const fs::path aside = setAside(file);
    if (aside.empty()) {
        if (!startsAsSqliteDatabase(file)) {
            throw CacheRefused("refusing to use " + displayName(file) + " as the cache: it is not an SQLite database");
        }
        throw CacheError("the cache " + displayName(file) + " is damaged and cannot be moved aside");
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

std::optional<FileReport> ResultCache::find(const FileIdentity& identity, bool withSpectrum)
{
    std::string text;
    std::string spectrum;
    {
        std::lock_guard lock(m_mutex);
        sqlite3_reset(m_select);
        sqlite3_bind_blob(m_select, 1, identity.path.data(), static_cast<int>(identity.path.size()), SQLITE_STATIC);
        sqlite3_bind_int64(m_select, 2, identity.size);
        sqlite3_bind_int64(m_select, 3, identity.modifiedNs);
        sqlite3_bind_int64(m_select, 4, identity.changedNs);
        sqlite3_bind_int64(m_select, 5, identity.inode);
        sqlite3_bind_int(m_select, 6, m_version);
        if (m_damaged || m_select == nullptr) {
            return std::nullopt;
        }
        if (const int step = sqlite3_step(m_select); step != SQLITE_ROW) {
            m_damaged = isDamage(step) || isDamage(sqlite3_reset(m_select));
            sqlite3_reset(m_select);
            return std::nullopt;
        }
        if (withSpectrum && sqlite3_column_type(m_select, 1) == SQLITE_NULL) {
            sqlite3_reset(m_select);
            return std::nullopt; // stored by a run that did not want it
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
        if (!spectrum.empty()) {
            std::memcpy(parsed.record.spectrumDb.data(), spectrum.data(), spectrum.size());
        }
        return std::move(parsed.record);
    } catch (const JsonlError&) {
        return std::nullopt; // a row this build cannot read is analysed again
    }
}

void ResultCache::store(const FileIdentity& identity, const FileReport& record, bool withSpectrum)
{
    if (!record.error.empty()) {
        return;
    }
    Pending pending;
    pending.identity = identity;
    appendJsonlRecord(pending.record, record, 0, false, m_version);
    pending.record.pop_back(); // the line feed
    if (withSpectrum) {
        pending.spectrum.emplace(reinterpret_cast<const char*>(record.spectrumDb.data()),
                                 record.spectrumDb.size() * sizeof(double));
    }
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
        sqlite3_bind_int64(m_insert, 4, row.identity.changedNs);
        sqlite3_bind_int64(m_insert, 5, row.identity.inode);
        sqlite3_bind_int(m_insert, 6, m_version);
        sqlite3_bind_text(m_insert, 7, row.record.data(), static_cast<int>(row.record.size()), SQLITE_STATIC);
        if (row.spectrum) {
            sqlite3_bind_blob(m_insert, 8, row.spectrum->data(), static_cast<int>(row.spectrum->size()),
                              SQLITE_STATIC);
        } else {
            sqlite3_bind_null(m_insert, 8);
        }
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

std::size_t ResultCache::prune()
{
    commit();
    std::lock_guard lock(m_mutex);
    if (m_db == nullptr || m_damaged) {
        throw CacheError("cannot prune the cache " + displayName(m_file) + ": it is damaged");
    }
    std::vector<std::string> gone;
    sqlite3_stmt* rows = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT path, size, modified_ns, changed_ns, inode, version FROM records", -1, &rows,
                           nullptr) != SQLITE_OK) {
        throw CacheError("cannot prune the cache " + displayName(m_file) + ": " + sqlite3_errmsg(m_db));
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(rows)) == SQLITE_ROW) {
        FileIdentity stored;
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(rows, 0));
        stored.path.assign(bytes != nullptr ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(rows, 0)));
        stored.size = sqlite3_column_int64(rows, 1);
        stored.modifiedNs = sqlite3_column_int64(rows, 2);
        stored.changedNs = sqlite3_column_int64(rows, 3);
        stored.inode = sqlite3_column_int64(rows, 4);
        const std::optional<FileIdentity> now = fileIdentity(pathFromBytes(stored.path));
        if (sqlite3_column_int(rows, 5) != m_version || !now || !(*now == stored)) {
            gone.push_back(std::move(stored.path));
        }
    }
    sqlite3_finalize(rows);
    const auto failed = [this](int code) {
        m_damaged = m_damaged || isDamage(code);
        return CacheError("cannot prune the cache " + displayName(m_file) + ": " + sqlite3_errstr(code));
    };
    if (step != SQLITE_DONE) {
        throw failed(step);
    }
    if (gone.empty()) {
        return 0;
    }
    sqlite3_stmt* remove = nullptr;
    int code = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
        code = sqlite3_prepare_v2(m_db, "DELETE FROM records WHERE path = ?1", -1, &remove, nullptr);
    }
    for (std::size_t i = 0; code == SQLITE_OK && i < gone.size(); ++i) {
        sqlite3_reset(remove);
        sqlite3_bind_blob(remove, 1, gone[i].data(), static_cast<int>(gone[i].size()), SQLITE_STATIC);
        code = sqlite3_step(remove) == SQLITE_DONE ? SQLITE_OK : sqlite3_reset(remove);
    }
    sqlite3_finalize(remove);
    if (code == SQLITE_OK) {
        code = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw failed(code);
    }
    // The file shrinks only when rebuilt; a scan reading it meanwhile makes
    // this wait or give up, and the room is then reused by later records.
    sqlite3_exec(m_db, "VACUUM", nullptr, nullptr, nullptr);
    return gone.size();
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
    const fs::path aside = setAside(m_file);
    if (aside.empty()) {
        return "the cache " + displayName(m_file) + " turned out to be damaged and could not be moved aside";
    }
    return "the cache " + displayName(m_file) + " turned out to be damaged; it was moved to " + displayName(aside) +
           " and the next scan builds a new one";
}

InputAnalysis cachedAnalysis(ResultCache& cache, std::atomic<std::size_t>& hits, bool withSpectrum)
{
    return [&cache, &hits, withSpectrum](const fs::path& path, const std::atomic<bool>& stop, const ProgressCallback& progress,
                           const AnalysisOptions& options, const DecodedAudioHook& withAudio) {
        // The identity is taken before the decoder reads the file: a file
        // that changes meanwhile is stored under its old identity and so
        // analysed again next time.
        const std::optional<FileIdentity> identity = fileIdentity(path);
        // A file whose audio is wanted (a picture) is decoded anyway; its
        // record is still stored for later runs.
        if (identity && !withAudio) {
            if (std::optional<FileReport> stored = cache.find(*identity, withSpectrum)) {
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
            cache.store(*identity, record, withSpectrum);
        }
        return record;
    };
}

fs::path defaultCacheFile()
{
    fs::path base = userCacheFolder();
    if (base.empty()) {
        base = fs::temp_directory_path();
    }
    return base / "kestrone" / "scan-cache.sqlite";
}

} // namespace orvel
