// SPDX-License-Identifier: MIT
// The one judge of written paths: every kind of output against every way a
// path can lead to something the run must keep.
#include "batch/output_target.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "tests/support/files.h"

namespace {

using namespace orvel;
using namespace orvel::testing;
namespace fs = std::filesystem;

// What the guard says for one situation; "" means the output may be written.
struct Situation {
    const char* name;
    // Makes the situation in the scratch folder, sets the guard up, returns the output path.
    std::function<fs::path(const ScratchFolder&, OutputGuard&)> make;
    const char* replacedWhole; // reports, pictures, decoded samples
    const char* cache;
};

fs::path flacIn(const ScratchFolder& scratch, const std::string& name)
{
    const fs::path copy = scratch / name;
    fs::copy_file(filesIn(testAudio("hostile", "good")).at(1), copy);
    return copy;
}

// An input x.flac the guard protects.
fs::path protectedInput(const ScratchFolder& scratch, OutputGuard& guard)
{
    const fs::path input = flacIn(scratch, "x.flac");
    guard.protect({input});
    return input;
}

const Situation kSituations[] = {
    {"NothingThere", [](const ScratchFolder& s, OutputGuard& g) { protectedInput(s, g); return s / "new"; }, "", ""},
    {"LinkToInput",
     [](const ScratchFolder& s, OutputGuard& g) {
         fs::create_symlink(protectedInput(s, g), s / "out");
         return s / "out";
     },
     "over the input", "over the input"},
    {"HardLinkToInput",
     [](const ScratchFolder& s, OutputGuard& g) {
         fs::create_hard_link(protectedInput(s, g), s / "out");
         return s / "out";
     },
     "over the input", "over the input"},
    {"ExtensionlessAudio", [](const ScratchFolder& s, OutputGuard&) { return flacIn(s, "track01"); },
     "over the audio file", "over the audio file"},
    {"LinkToExtensionlessAudio",
     [](const ScratchFolder& s, OutputGuard&) {
         fs::create_symlink(flacIn(s, "track01"), s / "out.png");
         return s / "out.png";
     },
     "over the audio file", "over the audio file"},
    {"MergePart",
     [](const ScratchFolder& s, OutputGuard& g) {
         g.protect({s.touch("p1.jsonl", "{}\n")}, "part");
         return s / "p1.jsonl";
     },
     "over the part", "over the part"},
    {"OutputOfTheRunNotYetWritten",
     [](const ScratchFolder& s, OutputGuard& g) {
         EXPECT_EQ(g.claim(s / "dir" / ".." / "taken", OutputKind::Report, "the --csv report"), "");
         return s / "taken";
     },
     "it is also the --csv report", "it is also the --csv report"},
    {"LinkToTheRunsCache",
     [](const ScratchFolder& s, OutputGuard& g) {
         EXPECT_EQ(g.claim(s.touch("cache.sqlite", ""), OutputKind::Cache, "the cache"), "");
         fs::create_symlink(s / "cache.sqlite", s / "out");
         return s / "out";
     },
     "it is also the cache", "it is also the cache"},
    {"Device", [](const ScratchFolder&, OutputGuard&) { return fs::path("/dev/null"); }, "",
     "it is not a regular file"},
    {"Folder", [](const ScratchFolder& s, OutputGuard&) { return s.path(); }, "", "it is not a regular file"},
    {"ReadOnlyEmptyFile",
     [](const ScratchFolder& s, OutputGuard&) {
         const fs::path file = s.touch("locked", "");
         ::chmod(file.c_str(), 0444);
         return file;
     },
     "", "it is read-only"},
    {"TextFile", [](const ScratchFolder& s, OutputGuard&) { return s.touch("old.csv", "File\n"); }, "",
     "it is not an SQLite database"},
    {"LinkToUnrelatedReport",
     [](const ScratchFolder& s, OutputGuard&) {
         fs::create_symlink(s.touch("reports/old.json", "[]"), s / "latest.json");
         return s / "latest.json";
     },
     "", "it is not an SQLite database"},
    {"SqliteDatabase",
     [](const ScratchFolder& s, OutputGuard&) {
         return s.touch("cache.sqlite", std::string("SQLite format 3\0", 16) + std::string(100, '\0'));
     },
     "", ""},
};

// Test names and failures show the row's name, not its bytes.
void PrintTo(const Situation& row, std::ostream* out) { *out << row.name; }

class OutputGuardTest : public ::testing::TestWithParam<Situation> {};

TEST_P(OutputGuardTest, EveryKindOfOutputIsJudgedByTheSameRules)
{
    const Situation& situation = GetParam();
    for (const OutputKind kind :
         {OutputKind::Report, OutputKind::Picture, OutputKind::DecodedSamples, OutputKind::Cache}) {
        const ScratchFolder scratch;
        OutputGuard guard;
        const fs::path output = situation.make(scratch, guard);
        const std::string expected = kind == OutputKind::Cache ? situation.cache : situation.replacedWhole;
        const std::string refused = guard.refused(output, kind);
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + ": " + refused);
        if (expected.empty()) {
            EXPECT_EQ(refused, "");
        } else {
            EXPECT_NE(refused.find(expected), std::string::npos);
            EXPECT_NE(refused.find(output.filename().native()), std::string::npos) << "the message names the output";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Situations, OutputGuardTest, ::testing::ValuesIn(kSituations),
                         [](const ::testing::TestParamInfo<Situation>& row) { return std::string(row.param.name); });

} // namespace
