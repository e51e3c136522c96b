// SPDX-License-Identifier: MIT
// kestrone-scan --merge given parts that are not one complete run: each is
// refused with the part and line, nothing is written, and memory stays small.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "analysis/analysis_version.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;
using namespace std::chrono_literals;

using Part = std::vector<std::string>; // its lines

struct BadParts {
    const char* name;
    std::function<void(Part& first, Part& second)> spoil; // clearing `second` leaves that part out
    const char* where;                                    // "" when no line is at fault
    const char* message;
};

void replaceIn(std::string& line, const std::string& pattern, const std::string& replacement)
{
    std::smatch match;
    ASSERT_TRUE(std::regex_search(line, match, std::regex(pattern))) << pattern;
    line.replace(static_cast<std::size_t>(match.position(0)), static_cast<std::size_t>(match.length(0)), replacement);
}

void replaceSpectrum(std::string& line, std::size_t values)
{
    const std::size_t from = line.find("\"SpectrumDb\":[");
    ASSERT_NE(from, std::string::npos);
    std::string spectrum = "\"SpectrumDb\":[0";
    for (std::size_t i = 1; i < values; ++i) {
        spectrum += ",0";
    }
    line.replace(from, line.find(']', from) + 1 - from, spectrum + "]");
}

std::string join(const Part& part)
{
    std::string text;
    for (const std::string& line : part) {
        text += line + "\n";
    }
    return text;
}

class ScanMergeTest : public ::testing::TestWithParam<BadParts> {
protected:
    // Two shards of the mixed folder, with the spectrum, made once.
    static void SetUpTestSuite()
    {
        s_folder = new ScratchFolder;
        for (const char* k : {"1", "2"}) {
            const ProcessResult run =
                runProcess({scanProgram(), "--shard", std::string(k) + "/2", "--with-spectrum", "--jsonl",
                            (*s_folder / ("part-" + std::string(k) + ".jsonl")).string(),
                            testAudio("scan", "mixed").lexically_normal().string()});
            ASSERT_LE(run.exitCode, 1) << run.err;
        }
    }
    static void TearDownTestSuite()
    {
        delete s_folder;
        s_folder = nullptr;
    }

    static std::vector<std::string> writeParts(const Part& first, const Part& second, const fs::path& out)
    {
        writeBytes(out / "part-1.jsonl", join(first));
        std::vector<std::string> args = {scanProgram(), "--merge", "--json", (out / "r.json").string(),
                                         (out / "part-1.jsonl").string()};
        if (!second.empty()) {
            writeBytes(out / "part-2.jsonl", join(second));
            args.push_back((out / "part-2.jsonl").string());
        }
        return args;
    }

    static ProcessResult merge(const std::vector<std::string>& args)
    {
        // The sanitizer's quarantine would keep freed line buffers and look like growth.
        const char* asan = std::getenv("ASAN_OPTIONS");
        std::string options = asan != nullptr ? std::string(asan) + ":" : std::string();
        options += "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
        return runProcess(args, ProcessOptions{.env = {{"ASAN_OPTIONS", options}}});
    }

    static inline ScratchFolder* s_folder = nullptr;
};

TEST_P(ScanMergeTest, PartsThatAreNotOneCompleteRunAreRefusedNamingThePartAndLine)
{
    const BadParts& row = GetParam();
    Part first = lines(readBytes(*s_folder / "part-1.jsonl"));
    Part second = lines(readBytes(*s_folder / "part-2.jsonl"));
    ASSERT_GE(first.size(), 2u) << "both shards of mixed/ hold files";
    ASSERT_GE(second.size(), 2u);

    // Both parts are written before either run: a child starts with this
    // process's memory, which must be the same for the two to compare.
    const ScratchFolder good;
    const std::vector<std::string> wholeArgs = writeParts(first, second, good.path());
    row.spoil(first, second);
    const ScratchFolder out;
    const std::vector<std::string> spoiledArgs = writeParts(first, second, out.path());
    const ProcessResult whole = merge(wholeArgs);
    ASSERT_EQ(whole.exitCode, 1) << "mixed/ holds files that fail: " << whole.err;

    const ProcessResult refused = merge(spoiledArgs);
    EXPECT_EQ(refused.exitCode, 65) << refused.err;
    EXPECT_NE(refused.err.find(row.where), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(row.message), std::string::npos) << refused.err;
    EXPECT_EQ(lines(refused.err).size(), 1u) << "one message: " << refused.err;
    EXPECT_FALSE(fs::exists(out / "r.json")) << "no report is put in place";
    // A line is held at its cap, never whole: 10 MB cost hundreds before.
    EXPECT_LT(refused.maxRssKiB - whole.maxRssKiB, 32 * 1024) << whole.maxRssKiB << " KiB for the good parts";
}

const BadParts kBadParts[] = {
    {"MixedAnalysisVersions",
     [](Part& first, Part&) {
         for (std::string& line : first) {
             replaceIn(line, "\"analysis\":[0-9]+", "\"analysis\":" + std::to_string(orvel::kAnalysisVersion + 1));
         }
     },
     "part-2.jsonl:1: ", "analysis version"},
    {"VersionChangedWithinAPart",
     [](Part&, Part& second) {
         replaceIn(second[1], "\"analysis\":[0-9]+", "\"analysis\":" + std::to_string(orvel::kAnalysisVersion + 1));
     },
     "part-2.jsonl:2: ", "analysis version"},
    {"DurationBeyondADouble", [](Part& first, Part&) { replaceIn(first[0], "\"Duration\":[^,]+", "\"Duration\":1e999"); },
     "part-1.jsonl:1: ", "\"Duration\" is out of range"},
    {"SampleRateBeyond32Bits",
     [](Part& first, Part&) { replaceIn(first[1], "\"SampleRate\":[0-9]+", "\"SampleRate\":4294967297"); },
     "part-1.jsonl:2: ", "\"SampleRate\" is out of range"},
    {"TwentyDigitIndex",
     [](Part&, Part& second) { replaceIn(second[0], "\"index\":[0-9]+", "\"index\":12345678901234567890"); },
     "part-2.jsonl:1: ", "\"index\" is out of range"},
    {"SpectrumOfOneValueTooMany",
     [](Part& first, Part&) { replaceSpectrum(first[0], 2050); },
     "part-1.jsonl:1: ", "\"SpectrumDb\" holds 2050 values, not 2049"},
    {"SpectrumOfAHundredThousandValues",
     [](Part& first, Part&) { replaceSpectrum(first[0], 100000); },
     "part-1.jsonl:1: ", "more than 16384 values"},
    {"TenMegabyteLine",
     [](Part&, Part& second) { replaceIn(second[1], "\"Codec\":\"", "\"Codec\":\"" + std::string(10'000'000, 'x')); },
     "part-2.jsonl:2: ", "longer than any record"},
    {"MissingShard", [](Part&, Part& second) { second.clear(); }, "", "no part holds the records of shard 2/2"},
    {"PartCutShort", [](Part& first, Part&) { first.pop_back(); }, "part-1.jsonl: the part holds ",
     "(was its scan stopped?)"},
    {"SameShardTwice", [](Part& first, Part& second) { second = first; }, "part-2.jsonl:1: ",
     "(were the shards given the same K?)"},
    {"ShardOfAnotherRun",
     [](Part&, Part& second) {
         for (std::string& line : second) {
             replaceIn(line, "\"Shard\":\"2/2\"", "\"Shard\":\"2/3\"");
         }
     },
     "part-2.jsonl:1: ", "not of one run"},
    {"RecordWithoutItsShard",
     [](Part& first, Part&) { replaceIn(first[0], ",\"Shard\":\"[0-9/]+\",\"ShardFiles\":[0-9]+", ""); },
     "part-1.jsonl:1: ", "does not name its shard"},
};

// --jsonl FILE is a log: a killed run leaves what it finished in FILE, and the
// records say how many the part should hold.
TEST(ScanJsonlTest, AKilledRunLeavesTheRecordsDoneSoFarAndTheMergeSaysThePartIsShort)
{
    const ScratchFolder scratch;
    const fs::path part = scratch / "part.jsonl";
    RunningProgram run({scanProgram(), "--jobs", "1", "--jsonl", part.string(), testAudio("scan", "interrupt").string()});
    ASSERT_TRUE(run.readLine(60s).value_or("").starts_with("FILE "));
    ASSERT_TRUE(run.readLine(60s).has_value());
    ASSERT_TRUE(run.readLine(60s).has_value());
    // A row may show before its record is in the file, so three rows shown
    // mean at least two records written.
    ASSERT_TRUE(run.readLine(60s).has_value()) << "three files are done";
    run.signal(SIGKILL);
    EXPECT_EQ(run.finish().exitCode, 128 + SIGKILL);

    const std::vector<std::string> records = lines(readBytes(part));
    ASSERT_GE(records.size(), 2u);
    EXPECT_LT(records.size(), 19u);
    for (const std::string& record : records) {
        EXPECT_NE(record.find("\"Shard\":\"1/1\",\"ShardFiles\":19"), std::string::npos) << record.substr(0, 300);
    }
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"part.jsonl"}) << "no temporary stays";

    const ProcessResult merged = runProcess({scanProgram(), "--merge", "--csv", "-", part.string()});
    EXPECT_EQ(merged.exitCode, 65);
    EXPECT_NE(merged.err.find("of the 19 files of shard 1/1 (was its scan stopped?)"), std::string::npos) << merged.err;
}

INSTANTIATE_TEST_SUITE_P(BadParts, ScanMergeTest, ::testing::ValuesIn(kBadParts),
                         [](const ::testing::TestParamInfo<BadParts>& row) { return std::string(row.param.name); });

} // namespace
