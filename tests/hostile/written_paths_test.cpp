// SPDX-License-Identifier: MIT
// Command lines whose outputs lead to something the run must keep: audio
// without an audio name, the parts of a merge, a cache on a report, a cache on
// what is no database. Each is refused before anything is read or written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"

namespace {

using namespace orvel::testing;
namespace fs = std::filesystem;

constexpr int kUsage = 64;

fs::path flacIn(const ScratchFolder& scratch, const std::string& name)
{
    const fs::path copy = scratch / name;
    fs::copy_file(filesIn(testAudio("hostile", "good")).at(1), copy);
    return copy;
}

// Every entry under the folder (links not followed) with its bytes.
std::map<std::string, std::string> contents(const fs::path& folder)
{
    std::map<std::string, std::string> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).native();
        found[name] = entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).native()
                      : entry.is_regular_file() ? readBytes(entry.path())
                                                : std::string("(other)");
    }
    return found;
}

struct RefusedRun {
    const char* name;
    // Makes the files in the scratch folder; returns the command line.
    std::function<std::vector<std::string>(const ScratchFolder&)> make;
    const char* said; // part of the message
};

std::string at(const ScratchFolder& s, const char* name) { return (s / name).native(); }

const RefusedRun kRefusedRuns[] = {
    {"DecodedSamplesOverExtensionlessAudio",
     [](const ScratchFolder& s) {
         flacIn(s, "track01");
         return std::vector<std::string>{kestroneProgram(), "--decode-test", flacIn(s, "in.flac"), at(s, "track01")};
     },
     "over the audio file"},
    {"AnalysisReportOverExtensionlessAudio",
     [](const ScratchFolder& s) {
         flacIn(s, "track01");
         return std::vector<std::string>{kestroneProgram(), "--analyze-test", at(s, "track01"), flacIn(s, "in.flac")};
     },
     "over the audio file"},
    {"ScanReportOverExtensionlessAudio",
     [](const ScratchFolder& s) {
         flacIn(s, "track02");
         return std::vector<std::string>{scanProgram(), "--json", at(s, "track02"), flacIn(s, "in.flac")};
     },
     "over the audio file"},
    {"MergedReportOverOneOfItsParts",
     [](const ScratchFolder& s) {
         s.touch("p1.jsonl", "");
         s.touch("p2.jsonl", "");
         return std::vector<std::string>{scanProgram(), "--merge", at(s, "p1.jsonl"), at(s, "p2.jsonl"), "--csv",
                                         at(s, "p1.jsonl")};
     },
     "over the part"},
    {"CacheAndReportOnOnePath",
     [](const ScratchFolder& s) {
         return std::vector<std::string>{scanProgram(), "--cache=" + at(s, "r.csv"), "--csv", at(s, "r.csv"),
                                         flacIn(s, "in.flac")};
     },
     "it is also the --csv report"},
    {"CacheLinkedToAnInput",
     [](const ScratchFolder& s) {
         const fs::path input = flacIn(s, "in.flac");
         fs::create_symlink(input, s / "cache.sqlite");
         return std::vector<std::string>{scanProgram(), "--cache=" + at(s, "cache.sqlite"), input};
     },
     "over the input"},
    {"CacheOnAReport",
     [](const ScratchFolder& s) {
         s.touch("report.txt", "this is not a database\n");
         return std::vector<std::string>{scanProgram(), "--cache=" + at(s, "report.txt"), flacIn(s, "in.flac")};
     },
     "it is not an SQLite database"},
    {"CacheOnExtensionlessAudio",
     [](const ScratchFolder& s) {
         flacIn(s, "track01");
         return std::vector<std::string>{scanProgram(), "--cache=" + at(s, "track01"), flacIn(s, "in.flac")};
     },
     "over the audio file"},
    {"CacheOnAFolder",
     [](const ScratchFolder& s) {
         fs::create_directory(s / "folder");
         return std::vector<std::string>{scanProgram(), "--cache=" + at(s, "folder"), flacIn(s, "in.flac")};
     },
     "it is not a regular file"},
    {"CacheOnACharacterDevice",
     [](const ScratchFolder& s) {
         // A null device of its own where the system allows one, so that a
         // journal put beside it would show in the folder.
         std::string device = at(s, "null");
         if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
             device = "/dev/null";
         }
         return std::vector<std::string>{scanProgram(), "--cache=" + device, flacIn(s, "in.flac")};
     },
     "it is not a regular file"},
};

// Test names and failures show the row's name, not its bytes.
void PrintTo(const RefusedRun& row, std::ostream* out) { *out << row.name; }

class RefusedOutputTest : public ::testing::TestWithParam<RefusedRun> {};

TEST_P(RefusedOutputTest, IsRefusedBeforeAnythingIsWrittenAndEveryFileStaysAsItWas)
{
    const ScratchFolder scratch;
    const std::vector<std::string> command = GetParam().make(scratch);
    const std::map<std::string, std::string> before = contents(scratch.path());

    const ProcessResult run = runProcess(command, ProcessOptions{.env = {{"QT_QPA_PLATFORM", "offscreen"}}});
    EXPECT_EQ(run.exitCode, kUsage) << run.err;
    EXPECT_NE(run.err.find(GetParam().said), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(contents(scratch.path()), before) << "nothing made, moved or replaced";
}

INSTANTIATE_TEST_SUITE_P(CommandLines, RefusedOutputTest, ::testing::ValuesIn(kRefusedRuns),
                         [](const ::testing::TestParamInfo<RefusedRun>& row) { return std::string(row.param.name); });

// A picture's name in the folder may lead elsewhere: to an input through a
// link, or to audio without an audio name. Neither is replaced; the file's
// record says why it has no picture.
TEST(PictureTargetTest, APictureNameLeadingToAnInputOrToAudioIsLeftAlone)
{
    const ScratchFolder scratch;
    const fs::path input = flacIn(scratch, "x.flac");
    const fs::path other = flacIn(scratch, "y.flac");
    const fs::path music = flacIn(scratch, "music");
    // The name each file's picture gets, from a run of its own.
    const auto pictureName = [&](const fs::path& file) {
        const fs::path probe = scratch / "probe";
        runProcess({scanProgram(), "--spectrogram", probe.native(), "--size", "400x240", "--csv", "-", file.native()});
        const std::vector<fs::path> made = filesIn(probe);
        EXPECT_EQ(made.size(), 1u);
        fs::remove_all(probe);
        return made.empty() ? fs::path("none") : made.front().filename();
    };
    fs::create_directory(scratch / "pictures");
    fs::create_symlink(input, scratch / "pictures" / pictureName(input));
    fs::create_symlink(music, scratch / "pictures" / pictureName(other));
    const std::map<std::string, std::string> before = contents(scratch.path());

    const ProcessResult run = runProcess({scanProgram(), "--spectrogram", (scratch / "pictures").native(), "--size",
                                          "400x240", "--csv", (scratch / "r.csv").native(), input.native(),
                                          other.native()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("over the input"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("over the audio file"), std::string::npos) << run.err;
    std::map<std::string, std::string> after = contents(scratch.path());
    EXPECT_EQ(after.erase("r.csv"), 1u);
    EXPECT_EQ(after, before);
}

} // namespace
