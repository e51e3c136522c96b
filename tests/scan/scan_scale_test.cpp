// SPDX-License-Identifier: MIT
// kestrone-scan on libraries: JSON Lines, lists of paths, shards merged
// through GNU parallel, and the results cache (hits, misses, damage,
// concurrent scans, kill -9, resuming after Ctrl-C).
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analysis_version.h"
#include "batch/input_selection.h"
#include "report/jsonl_record.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;
using namespace std::chrono_literals;

ProcessResult scan(std::vector<std::string> args)
{
    args.insert(args.begin(), scanProgram());
    return runProcess(args);
}

fs::path audioDir() { return testAudio("scan"); }

std::string mixed() { return (audioDir() / "mixed").lexically_normal().string(); }

// A copy of some generated files that the test may touch and change.
fs::path smallLibrary(const fs::path& dir)
{
    const fs::path library = dir / "library";
    fs::create_directories(library / "sub");
    fs::copy_file(audioDir() / "mixed" / "a-pink-2ch-44100Hz-16bit.flac", library / "a.flac");
    fs::copy_file(audioDir() / "mixed" / "b-white-2ch-48000Hz-24bit.wav", library / "b.wav");
    fs::copy_file(audioDir() / "mixed" / "Album" / "c-pink-2ch-44100Hz-16in24.flac", library / "sub" / "c.flac");
    fs::copy_file(audioDir() / "mixed" / "f-truncated.flac", library / "sub" / "d-broken.flac");
    return library;
}

// The counts of the closing progress event of --progress=jsonl.
struct EndCounts {
    long done = -1;
    long cached = -1;
    long failed = -1;
};

EndCounts endCounts(const std::string& err)
{
    EndCounts counts;
    for (const std::string& line : lines(err)) {
        if (line.find("\"event\":\"end\"") == std::string::npos) {
            continue;
        }
        const auto number = [&](const std::string& key) {
            std::smatch match;
            return std::regex_search(line, match, std::regex("\"" + key + "\":([0-9]+)")) ? std::stol(match[1])
                                                                                          : -1L;
        };
        counts = {number("done"), number("cached"), number("failed")};
    }
    return counts;
}

std::vector<std::string> nonEmptyLines(const std::string& text)
{
    std::vector<std::string> result;
    for (const std::string& line : lines(text)) {
        if (!line.empty()) {
            result.push_back(line);
        }
    }
    return result;
}

// Lines of JSON Lines files that the shipped schema accepts (the schema is
// itself checked first); -1 when python3 fails, with its message in the test log.
int schemaValidLines(const std::vector<fs::path>& files)
{
    std::vector<std::string> args = {"/usr/bin/env", "python3", "-c",
                                     "import json, sys, jsonschema\n"
                                     "schema = json.load(open(sys.argv[1]))\n"
                                     "jsonschema.Draft202012Validator.check_schema(schema)\n"
                                     "validator = jsonschema.Draft202012Validator(schema)\n"
                                     "count = 0\n"
                                     "for name in sys.argv[2:]:\n"
                                     "    for line in open(name, encoding='utf-8'):\n"
                                     "        validator.validate(json.loads(line))\n"
                                     "        count += 1\n"
                                     "print(count)\n",
                                     std::string(KESTRONE_SOURCE_DIR) + "/scan/kestrone-scan-record.schema.json"};
    for (const fs::path& file : files) {
        args.push_back(file.string());
    }
    const ProcessResult check = runProcess(args);
    if (check.exitCode != 0) {
        ADD_FAILURE() << check.err;
        return -1;
    }
    return std::stoi(check.out);
}

std::string integrityCheck(const fs::path& database, long* rows = nullptr)
{
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
        statement = nullptr;
        if (rows != nullptr && sqlite3_prepare_v2(db, "SELECT count(*) FROM records", -1, &statement, nullptr) ==
                                   SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            *rows = sqlite3_column_int64(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

TEST(ScanJsonlTest, RecordsComeInInputOrderForAnyJobCountAndMatchTheSchema)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const ProcessResult one = scan({"--jobs", "1", "--jsonl", (dir / "one.jsonl").string(), "--json",
                                    (dir / "one.json").string(), mixed()});
    const ProcessResult two = scan({"--jobs", "2", "--jsonl", "-", "--with-spectrum", mixed()});
    EXPECT_EQ(one.exitCode, 1) << "mixed/ holds files that fail: " << one.err;
    EXPECT_EQ(two.exitCode, 1) << two.err;

    const std::vector<std::string> plain = nonEmptyLines(readBytes(dir / "one.jsonl"));
    const std::vector<std::string> withSpectrum = nonEmptyLines(two.out);
    const std::vector<JsonValue> seed = reportRecords(readBytes(dir / "one.json"));
    ASSERT_EQ(plain.size(), 7u);
    ASSERT_EQ(withSpectrum.size(), plain.size());
    ASSERT_EQ(seed.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const orvel::JsonlRecord a = orvel::parseJsonlRecord(plain[i]);
        const orvel::JsonlRecord b = orvel::parseJsonlRecord(withSpectrum[i]);
        EXPECT_EQ(a.index, i);
        EXPECT_FALSE(a.hasSpectrum);
        EXPECT_TRUE(b.hasSpectrum);
        // Same record whatever the job count: the lines differ only by the spectrum.
        EXPECT_EQ(withSpectrum[i].substr(0, withSpectrum[i].find(",\"SpectrumDb\":")) + "}", plain[i]);
        EXPECT_EQ(parseJson(plain[i])["File"].optionalText(), seed[i]["File"].optionalText());
        if (a.record.error.empty()) {
            EXPECT_EQ(b.record.spectrumDb.size(), 2049u);
            EXPECT_FALSE(a.record.upsampling.measurements.empty()) << plain[i].substr(0, 200);
        }
    }
    // The 16-in-24 file: the padded grid is there as numbers, not only as text.
    const std::string padded = plain[1];
    ASSERT_NE(padded.find("c-pink-2ch-44100Hz-16in24.flac"), std::string::npos);
    EXPECT_NE(padded.find("\"channel1_grid_bits\":16"), std::string::npos) << padded.substr(0, 900);
    EXPECT_NE(padded.find("\"stored_bits\":24"), std::string::npos);

    // Every line of both kinds against the shipped schema.
    writeBytes(dir / "two.jsonl", two.out);
    EXPECT_EQ(schemaValidLines({dir / "one.jsonl", dir / "two.jsonl"}), 14);
}

TEST(ScanJsonlTest, SlowTheFourthCheckTravelsWholeThroughRecordsAndMerge)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::vector<std::string> inputs = {testAudio("origin", "mp3-b128-band.flac").string(),
                                             testAudio("origin", "genuine-band-44100.flac").string()};
    std::vector<std::string> single = {"--jsonl", (dir / "one.jsonl").string(), "--with-spectrum", "--json",
                                       (dir / "one.json").string(), "--text", (dir / "one.txt").string(),
                                       "--csv", (dir / "one.csv").string()};
    single.insert(single.end(), inputs.begin(), inputs.end());
    const ProcessResult run = scan(single);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(schemaValidLines({dir / "one.jsonl"}), 2);

    const std::vector<std::string> records = nonEmptyLines(readBytes(dir / "one.jsonl"));
    ASSERT_EQ(records.size(), 2u);
    const JsonValue transcode = parseJson(records[0])["Checks"].items.at(3);
    EXPECT_EQ(transcode["Name"].optionalText(), "Origin");
    EXPECT_EQ(transcode["Status"].optionalText(), "Evidence found") << records[0].substr(0, 1500);
    EXPECT_EQ(transcode["Trace"].optionalText(), "mp3-grid");
    EXPECT_FALSE(transcode["CutoffKhz"].isNull());
    const JsonValue& numbers = transcode["Measurements"];
    EXPECT_GT(numbers["lowpass_khz"].number, 14.0);
    EXPECT_LT(numbers["lowpass_khz"].number, 18.0);
    EXPECT_GT(numbers["mp3_z"].number, 3.0);
    EXPECT_EQ(numbers["lowpass_khz"].number, transcode["CutoffKhz"].number);

    const orvel::JsonlRecord back = orvel::parseJsonlRecord(records[0]);
    EXPECT_EQ(back.record.origin.status, orvel::Verdict::EvidenceFound);
    EXPECT_EQ(back.record.originFacts.trace, "mp3-grid");
    EXPECT_EQ(back.record.originFacts.numbers.size(), numbers.members.size());

    const JsonValue genuine = parseJson(records[1])["Checks"].items.at(3);
    EXPECT_EQ(genuine["Status"].optionalText(), "No evidence") << records[1].substr(0, 1500);
    EXPECT_EQ(genuine["Trace"].optionalText(), "");

    // Every report rebuilt from the records has the bytes of the run.
    const ProcessResult merged = scan({"--merge", "--json", (dir / "merged.json").string(), "--text",
                                       (dir / "merged.txt").string(), "--csv", (dir / "merged.csv").string(),
                                       "--jsonl", (dir / "merged.jsonl").string(), "--with-spectrum",
                                       (dir / "one.jsonl").string()});
    ASSERT_EQ(merged.exitCode, 0) << merged.err;
    for (const char* ext : {"json", "txt", "csv", "jsonl"}) {
        EXPECT_TRUE(readBytes(dir / ("one." + std::string(ext))) == readBytes(dir / ("merged." + std::string(ext))))
            << ext << " differs";
    }
}

TEST(ScanJsonlTest, ShardsRunThroughGnuParallelMergeIntoTheReportsOfOneRun)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string shortFiles = (audioDir() / "interrupt" / "a-short-1.flac").string();
    const std::vector<std::string> inputs = {mixed(), shortFiles,
                                             (audioDir() / "interrupt" / "a-short-2.flac").string()};
    std::vector<std::string> single = {scanProgram(), "--json", (dir / "one.json").string(), "--text",
                                       (dir / "one.txt").string(), "--csv", (dir / "one.csv").string(), "--jsonl",
                                       (dir / "one.jsonl").string(), "--html", (dir / "one.html").string()};
    single.insert(single.end(), inputs.begin(), inputs.end());
    ASSERT_EQ(runProcess(single).exitCode, 1);

    std::vector<std::string> parallel = {"/usr/bin/env", "parallel", "--will-cite", "--jobs", "3", scanProgram(), "--jobs", "1",
                                         "--shard", "{}/3", "--with-spectrum", "--jsonl",
                                         (dir / "part-{}.jsonl").string()};
    parallel.insert(parallel.end(), inputs.begin(), inputs.end());
    parallel.insert(parallel.end(), {":::", "1", "2", "3"});
    const ProcessResult shards = runProcess(parallel);
    // GNU parallel exits with the number of jobs that failed; a shard with a
    // broken file exits 1, so only the parts themselves tell.
    EXPECT_LE(shards.exitCode, 3) << shards.err;

    std::size_t total = 0;
    for (const char* k : {"1", "2", "3"}) {
        const std::vector<std::string> part = nonEmptyLines(readBytes(dir / ("part-" + std::string(k) + ".jsonl")));
        total += part.size();
    }
    EXPECT_EQ(total, 9u) << "the three parts split the nine inputs";

    const std::vector<std::string> parts = {(dir / "part-3.jsonl").string(), (dir / "part-1.jsonl").string(),
                                            (dir / "part-2.jsonl").string()};
    std::vector<std::string> merge = {"--merge", "--json", (dir / "merged.json").string(), "--text",
                                      (dir / "merged.txt").string(), "--csv", (dir / "merged.csv").string(),
                                      "--jsonl", (dir / "merged.jsonl").string(), "--html",
                                      (dir / "merged.html").string()};
    merge.insert(merge.end(), parts.begin(), parts.end());
    const ProcessResult merged = scan(merge);
    EXPECT_EQ(merged.exitCode, 1) << "failed files stay failed: " << merged.err;
    for (const char* ext : {"json", "txt", "csv", "jsonl", "html"}) {
        const std::string expected = readBytes(dir / ("one." + std::string(ext)));
        EXPECT_FALSE(expected.empty());
        EXPECT_TRUE(expected == readBytes(dir / ("merged." + std::string(ext)))) << ext << " differs";
    }
}

TEST(ScanJsonlTest, MergeRefusesOverlappingPartsAndPartsWithoutTheSpectrumAJsonReportNeeds)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const std::string part = (dir / "part.jsonl").string();
    ASSERT_EQ(scan({"--jsonl", part, mixed()}).exitCode, 1);

    const ProcessResult twice = scan({"--merge", "--csv", (dir / "r.csv").string(), part, part});
    EXPECT_EQ(twice.exitCode, 65);
    EXPECT_NE(twice.err.find("two parts"), std::string::npos) << twice.err;
    EXPECT_FALSE(fs::exists(dir / "r.csv")) << "no half report is put in place";

    const ProcessResult noSpectrum = scan({"--merge", "--json", (dir / "r.json").string(), part});
    EXPECT_EQ(noSpectrum.exitCode, 65);
    EXPECT_NE(noSpectrum.err.find("--with-spectrum"), std::string::npos) << noSpectrum.err;

    writeBytes(dir / "garbage.jsonl", "{\"version\":1}\n");
    const ProcessResult garbage = scan({"--merge", "--csv", "-", (dir / "garbage.jsonl").string()});
    EXPECT_EQ(garbage.exitCode, 65);
    EXPECT_NE(garbage.err.find("garbage.jsonl:1:"), std::string::npos) << garbage.err;
}

TEST(ScanFilesFromTest, ListedNamesWithLineBreaksAndNonUtf8BytesArriveExactly)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path source = audioDir() / "mixed" / "a-pink-2ch-44100Hz-16bit.flac";
    const std::vector<std::string> names = {std::string("line\nbreak.flac"), std::string("caf\xE9 latin1.flac"),
                                            std::string(" leading space\ttab.flac")};
    std::string nulList;
    for (const std::string& name : names) {
        fs::copy_file(source, dir / name);
        nulList += (dir / name).string();
        nulList += '\0';
    }
    writeBytes(dir / "list0", nulList);
    const ProcessResult run =
        scan({"--files-from", (dir / "list0").string(), "-0", "--jsonl", "-", "--text", (dir / "r.txt").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> records = nonEmptyLines(run.out);
    ASSERT_EQ(records.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const orvel::JsonlRecord record = orvel::parseJsonlRecord(records[i]);
        EXPECT_EQ(record.record.file.native(), (dir / names[i]).string()) << i;
        EXPECT_TRUE(record.record.error.empty()) << record.record.error;
        EXPECT_EQ(records[i].find("PathBase64") != std::string::npos, i == 1) << records[i].substr(0, 200);
    }
    // The records read back give the same text report as the run.
    writeBytes(dir / "r.jsonl", run.out);
    const ProcessResult merged = scan({"--merge", "--text", "-", (dir / "r.jsonl").string()});
    EXPECT_EQ(merged.out, readBytes(dir / "r.txt"));

    // Line-separated lists keep spaces and tabs, skip empty lines, and come after the PATHs.
    writeBytes(dir / "list", "\n" + (dir / names[2]).string() + "\n\n" + (dir / names[1]).string());
    const ProcessResult lined =
        scan({"--files-from", (dir / "list").string(), "--jsonl", "-", (dir / names[0]).string()});
    ASSERT_EQ(lined.exitCode, 0) << lined.err;
    const std::vector<std::string> order = nonEmptyLines(lined.out);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(orvel::parseJsonlRecord(order[0]).record.file.native(), (dir / names[0]).string());
    EXPECT_EQ(orvel::parseJsonlRecord(order[1]).record.file.native(), (dir / names[2]).string());
    EXPECT_EQ(orvel::parseJsonlRecord(order[2]).record.file.native(), (dir / names[1]).string());

    const ProcessResult missing = scan({"--files-from", (dir / "no-such-list").string()});
    EXPECT_EQ(missing.exitCode, 65);
    EXPECT_NE(missing.err.find("no-such-list"), std::string::npos);
}

TEST(ScanCacheTest, UnchangedFilesComeFromTheCacheAndChangedOnesAreAnalysedAgain)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path library = smallLibrary(dir);
    const std::string cache = "--cache=" + (dir / "cache.sqlite").string();
    const auto run = [&](const std::string& name) {
        return scan({cache, "--progress=jsonl", "--json", (dir / (name + ".json")).string(), "--jsonl",
                     (dir / (name + ".jsonl")).string(), library.string()});
    };
    const ProcessResult first = run("first");
    EXPECT_EQ(first.exitCode, 1) << first.err;
    EXPECT_EQ(endCounts(first.err).done, 4);
    EXPECT_EQ(endCounts(first.err).cached, 0);

    const ProcessResult second = run("second");
    EXPECT_EQ(second.exitCode, 1) << second.err;
    EXPECT_EQ(endCounts(second.err).cached, 3) << "the broken file is tried again; the rest is cached";
    EXPECT_TRUE(readBytes(dir / "first.json") == readBytes(dir / "second.json"));
    EXPECT_EQ(readBytes(dir / "first.jsonl"), readBytes(dir / "second.jsonl"));

    // Touched: same bytes, new modification time. Replaced: other content.
    const auto now = fs::last_write_time(library / "a.flac");
    fs::last_write_time(library / "a.flac", now + 5s);
    fs::copy_file(audioDir() / "mixed" / "Album" / "d-pink-1ch-44100Hz-16bit-upper.FLAC", library / "sub" / "c.flac",
                  fs::copy_options::overwrite_existing);
    const ProcessResult third = run("third");
    EXPECT_EQ(endCounts(third.err).cached, 1) << third.err;
    const std::vector<std::string> records = nonEmptyLines(readBytes(dir / "third.jsonl"));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(orvel::parseJsonlRecord(records[2]).record.channelCount, 1) << "c.flac now holds the mono file";

    // The same cache under another analysis version is not used: a record
    // row of version N serves only version N.
    long rows = 0;
    EXPECT_EQ(integrityCheck(dir / "cache.sqlite", &rows), "ok");
    EXPECT_EQ(rows, 3);
}

TEST(ScanCacheTest, FilesWhosePicturesAreWantedAreDecodedAndTheirRecordsStillCome)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path library = smallLibrary(dir);
    const std::string cache = "--cache=" + (dir / "cache.sqlite").string();
    ASSERT_EQ(scan({cache, "--csv", (dir / "plain.csv").string(), library.string()}).exitCode, 1);

    // Cached results, yet every analysed file gets its picture and the
    // records are those of the cached run.
    const ProcessResult pictured = scan({cache, "--progress=jsonl", "--spectrogram", (dir / "p").string(), "--size",
                                         "400x240", "--jsonl", (dir / "p.jsonl").string(), library.string()});
    EXPECT_EQ(pictured.exitCode, 1) << pictured.err;
    EXPECT_EQ(endCounts(pictured.err).cached, 0) << "a wanted picture needs the audio";
    EXPECT_EQ(filesIn(dir / "p").size(), 3u);
    const ProcessResult cached = scan({cache, "--progress=jsonl", "--jsonl", (dir / "c.jsonl").string(),
                                       library.string()});
    EXPECT_EQ(endCounts(cached.err).cached, 3) << cached.err;
    EXPECT_EQ(readBytes(dir / "c.jsonl"), readBytes(dir / "p.jsonl")) << "no picture name in a cached record";
}

// The analysis version must change whenever the results do. The reference is
// the JSON Lines report with the spectrum of the lossless files of mixed/ and
// of an MP3 transcode (so that ORIGIN's findings count too), paths left out.
TEST(ScanCacheTest, SlowAnalysisResultsMatchTheDigestKeptWithTheAnalysisVersion)
{
    const std::string dir = mixed();
    const ProcessResult run =
        scan({"--jsonl", "-", "--with-spectrum", dir + "/a-pink-2ch-44100Hz-16bit.flac",
              dir + "/b-white-2ch-48000Hz-24bit.wav", dir + "/Album/c-pink-2ch-44100Hz-16in24.flac",
              dir + "/Album/d-pink-1ch-44100Hz-16bit-upper.FLAC", testAudio("origin", "mp3-b128-band.flac").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string withoutPaths;
    for (const std::string& line : nonEmptyLines(run.out)) {
        const std::size_t start = line.find(",\"File\":");
        const std::size_t end = line.find(",\"Codec\":");
        ASSERT_TRUE(start != std::string::npos && end != std::string::npos && start < end);
        // The shard and the conclusion are added when a record is written,
        // never kept in the cache, so they are no part of the analysis results.
        std::string rest = line.substr(end);
        const std::size_t derived = rest.find(",\"Shard\":");
        const std::size_t spectrum = rest.find(",\"SpectrumDb\":");
        ASSERT_TRUE(derived != std::string::npos && spectrum != std::string::npos && derived < spectrum) << rest;
        rest.erase(derived, spectrum - derived);
        withoutPaths += line.substr(0, start) + rest + "\n";
    }
    std::array<char, 17> hex{};
    std::snprintf(hex.data(), hex.size(), "%016llx",
                  static_cast<unsigned long long>(orvel::stableHash(withoutPaths)));
    EXPECT_EQ(std::string(hex.data()), orvel::kReferenceReportDigest)
        << "The analysis results changed. Raise kAnalysisVersion in analysis/analysis_version.h and set "
           "kReferenceReportDigest to \""
        << hex.data() << "\" in the same change, so that no cache hands out results of the old analysis.";
}

TEST(ScanCacheTest, ADamagedCacheIsSetAsideWithAMessageAndRebuilt)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path library = smallLibrary(dir);
    const fs::path database = dir / "cache.sqlite";
    const ProcessResult clean = scan({"--csv", (dir / "clean.csv").string(), library.string()});
    // A real cache cut short, as a full disk or a bad copy leaves it (with
    // the spectra a JSON report keeps, so that half of it is many pages).
    ASSERT_EQ(scan({"--cache=" + database.string(), "--json", (dir / "seed.json").string(), library.string()}).exitCode,
              clean.exitCode);
    const std::string real = readBytes(database);
    ASSERT_GT(real.size(), 16384u);
    fs::remove(database);

    // Only a file that starts as a database is taken for a damaged cache;
    // anything else is refused and left as it is.
    for (const std::string& notDatabase : {std::string("this is not a database\n"), std::string(100000, '\x5A')}) {
        writeBytes(database, notDatabase);
        const ProcessResult run = scan({"--cache=" + database.string(), "--csv", (dir / "run.csv").string(),
                                        library.string()});
        EXPECT_EQ(run.exitCode, 64) << run.err;
        EXPECT_NE(run.err.find("not an SQLite database"), std::string::npos) << run.err;
        EXPECT_EQ(readBytes(database), notDatabase);
        EXPECT_FALSE(fs::exists(database.string() + ".damaged"));
    }
    // A damaged database goes to the first free name: nothing is replaced.
    writeBytes(database.string() + ".damaged", "kept");
    for (const std::string& aside : {std::string(".damaged-2"), std::string(".damaged-3")}) {
        const std::string damage = real.substr(0, real.size() / 2);
        writeBytes(database, damage);
        const ProcessResult run = scan({"--cache=" + database.string(), "--progress=jsonl", "--csv",
                                        (dir / "run.csv").string(), library.string()});
        EXPECT_EQ(run.exitCode, clean.exitCode) << run.err;
        EXPECT_NE(run.err.find("was damaged"), std::string::npos) << run.err;
        EXPECT_EQ(readBytes(database.string() + aside), damage) << "the damaged file is kept aside";
        EXPECT_EQ(readBytes(database.string() + ".damaged"), "kept");
        EXPECT_EQ(readBytes(dir / "run.csv"), readBytes(dir / "clean.csv"));
        const ProcessResult again = scan({"--cache=" + database.string(), "--progress=jsonl", "--csv",
                                          (dir / "again.csv").string(), library.string()});
        EXPECT_EQ(again.err.find("damaged"), std::string::npos) << again.err;
        EXPECT_EQ(endCounts(again.err).cached, 3);
        EXPECT_EQ(readBytes(dir / "again.csv"), readBytes(dir / "clean.csv"));
    }
}

long countRows(const fs::path& database, const std::string& where)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    long count = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, ("SELECT count(*) FROM records WHERE " + where).c_str(), -1, &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        count = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

TEST(ScanCacheTest, AFileRewrittenInPlaceWithItsModificationTimePutBackIsAnalysedAgain)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path library = smallLibrary(dir);
    const fs::path wav = library / "b.wav";
    const auto run = [&](const std::string& name, bool cached) {
        std::vector<std::string> args = {"--progress=jsonl", "--jsonl", (dir / name).string(), "--with-spectrum",
                                         wav.string()};
        if (cached) {
            args.insert(args.begin(), "--cache=" + (dir / "cache.sqlite").string());
        }
        return scan(args);
    };
    ASSERT_EQ(run("first.jsonl", true).exitCode, 0);

    // Same size, same inode, modification time restored: only the change time tells.
    std::string bytes = readBytes(wav);
    const auto modified = fs::last_write_time(wav);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2), bytes.end(), '\0');
    {
        std::ofstream inPlace(wav, std::ios::binary | std::ios::in | std::ios::out);
        inPlace.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    fs::last_write_time(wav, modified);

    const ProcessResult again = run("again.jsonl", true);
    EXPECT_EQ(endCounts(again.err).cached, 0) << again.err;
    ASSERT_EQ(run("fresh.jsonl", false).exitCode, 0);
    EXPECT_TRUE(readBytes(dir / "again.jsonl") == readBytes(dir / "fresh.jsonl"));
    EXPECT_TRUE(readBytes(dir / "again.jsonl") != readBytes(dir / "first.jsonl")) << "the new content gives other results";
}

TEST(ScanCacheTest, TheSpectrumIsKeptOnlyForRunsThatReportItAndPruningDropsFilesGoneOrChanged)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path library = smallLibrary(dir);
    const fs::path database = dir / "cache.sqlite";
    const std::string cache = "--cache=" + database.string();
    ASSERT_EQ(scan({cache, "--csv", (dir / "plain.csv").string(), library.string()}).exitCode, 1);
    EXPECT_EQ(countRows(database, "spectrum IS NULL"), 3) << "a CSV run keeps no spectrum";

    // A run that reports spectra cannot use those records, and keeps its own.
    const auto spectra = [&](const std::string& name) {
        return scan({cache, "--progress=jsonl", "--jsonl", (dir / name).string(), "--with-spectrum", library.string()});
    };
    EXPECT_EQ(endCounts(spectra("s1.jsonl").err).cached, 0);
    EXPECT_EQ(endCounts(spectra("s2.jsonl").err).cached, 3);
    EXPECT_TRUE(readBytes(dir / "s1.jsonl") == readBytes(dir / "s2.jsonl"));
    EXPECT_EQ(countRows(database, "spectrum IS NOT NULL"), 3);

    // Deleted, moved and changed files leave records that no path leads to.
    fs::remove(library / "a.flac");
    fs::rename(library / "sub" / "c.flac", library / "sub" / "moved.flac");
    fs::last_write_time(library / "b.wav", fs::last_write_time(library / "b.wav") + 5s);
    const ProcessResult pruned = scan({cache, "--cache-prune"});
    EXPECT_EQ(pruned.exitCode, 0) << pruned.err;
    EXPECT_NE(pruned.err.find("3 records"), std::string::npos) << pruned.err;
    EXPECT_EQ(countRows(database, "1"), 0);

    // With paths, the scan runs first and its own records stay.
    ASSERT_EQ(scan({cache, "--cache-prune", "--csv", (dir / "p.csv").string(), library.string()}).exitCode, 1);
    EXPECT_EQ(countRows(database, "1"), 2);
}

TEST(ScanCacheTest, TwoScansAtOnceShareOneCacheWithoutHarm)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG();
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path database = dir / "cache.sqlite";
    const std::string interrupt = (audioDir() / "interrupt").string();
    const std::vector<std::string> inputs = {mixed(), interrupt + "/a-short-1.flac", interrupt + "/a-short-2.flac",
                                             interrupt + "/a-short-3.flac", interrupt + "/z-long-01.flac"};
    const auto command = [&](const std::string& report) {
        std::vector<std::string> args = {scanProgram(), "--jobs", "1", "--cache=" + database.string(), "--jsonl",
                                         (dir / report).string()};
        args.insert(args.end(), inputs.begin(), inputs.end());
        return args;
    };
    RunningProgram a(command("a.jsonl"));
    RunningProgram b(command("b.jsonl"));
    const ProcessResult resultA = a.finish();
    const ProcessResult resultB = b.finish();
    EXPECT_EQ(resultA.exitCode, 1) << resultA.err;
    EXPECT_EQ(resultB.exitCode, 1) << resultB.err;
    EXPECT_EQ(readBytes(dir / "a.jsonl"), readBytes(dir / "b.jsonl"));
    long rows = 0;
    EXPECT_EQ(integrityCheck(database, &rows), "ok");
    EXPECT_EQ(rows, 9) << "each analysed file once, whoever stored it";

    std::vector<std::string> third = command("c.jsonl");
    third.insert(third.begin() + 1, "--progress=jsonl");
    const ProcessResult resultC = runProcess(third);
    EXPECT_EQ(endCounts(resultC.err).cached, 9) << resultC.err;
    EXPECT_EQ(readBytes(dir / "c.jsonl"), readBytes(dir / "a.jsonl"));
}

TEST(ScanCacheTest, SlowCacheSurvivesKillDashNineAtAnyMoment)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path library = dir / "library";
    fs::create_directories(library);
    const fs::path source = audioDir() / "interrupt";
    for (const char* name : {"a-short-1.flac", "a-short-2.flac", "a-short-3.flac", "z-long-01.flac",
                             "z-long-02.flac", "z-long-03.flac", "z-long-04.flac", "z-long-05.flac"}) {
        fs::create_hard_link(source / name, library / name);
    }
    const fs::path database = dir / "cache.sqlite";
    const ProcessResult clean = scan({"--jsonl", (dir / "clean.jsonl").string(), library.string()});
    ASSERT_EQ(clean.exitCode, 0) << clean.err;

    long lastRows = 0;
    // Killed before any record, after one, and deep into the run.
    for (const int records : {0, 1, 4}) {
        RunningProgram run({scanProgram(), "--jobs", "2", "--cache=" + database.string(), "--jsonl", "-",
                            library.string()});
        if (records == 0) {
            std::this_thread::sleep_for(30ms);
        }
        for (int i = 0; i < records; ++i) {
            ASSERT_TRUE(run.readLine(120s).has_value());
        }
        run.signal(SIGKILL);
        EXPECT_EQ(run.finish().exitCode, 128 + SIGKILL);
        if (fs::exists(database)) {
            long rows = 0;
            EXPECT_EQ(integrityCheck(database, &rows), "ok") << "after " << records << " records";
            EXPECT_GE(rows, lastRows);
            lastRows = rows;
        }
    }
    const ProcessResult finished =
        scan({"--cache=" + database.string(), "--jsonl", (dir / "cached.jsonl").string(), library.string()});
    EXPECT_EQ(finished.exitCode, 0) << finished.err;
    EXPECT_EQ(finished.err.find("damaged"), std::string::npos) << finished.err;
    EXPECT_EQ(readBytes(dir / "cached.jsonl"), readBytes(dir / "clean.jsonl"));
    EXPECT_EQ(integrityCheck(database), "ok");
}

TEST(ScanCacheTest, SlowAScanStoppedByCtrlCResumesWhereItStopped)
{
    const ScratchFolder scratch;
    const fs::path dir = scratch.path();
    const fs::path database = dir / "cache.sqlite";
    const std::string input = (audioDir() / "interrupt").string();
    RunningProgram run({scanProgram(), "--jobs", "2", "--cache=" + database.string(), "--jsonl", "-", input});
    std::vector<std::string> done;
    for (int i = 0; i < 4; ++i) {
        const auto line = run.readLine(120s);
        ASSERT_TRUE(line.has_value());
        done.push_back(*line);
    }
    run.signal(SIGINT);
    const ProcessResult stopped = run.finish();
    EXPECT_EQ(stopped.exitCode, 130) << stopped.err;
    for (const std::string& line : nonEmptyLines(stopped.out)) {
        done.push_back(line);
    }
    ASSERT_LT(done.size(), 19u) << "the run should have been stopped part-way";

    const ProcessResult resumed = scan({"--jobs", "2", "--cache=" + database.string(), "--progress=jsonl",
                                        "--jsonl", (dir / "resumed.jsonl").string(), input});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    const EndCounts counts = endCounts(resumed.err);
    EXPECT_EQ(counts.done, 19);
    EXPECT_EQ(counts.cached, static_cast<long>(done.size())) << "every record finished before Ctrl-C is reused";
    const std::vector<std::string> all = nonEmptyLines(readBytes(dir / "resumed.jsonl"));
    ASSERT_EQ(all.size(), 19u);
    for (std::size_t i = 0; i < done.size(); ++i) {
        EXPECT_EQ(all[i], done[i]) << i;
    }
}

} // namespace
