// SPDX-License-Identifier: MIT
#include "batch/input_walker.h"

#include <gtest/gtest.h>

#include <atomic>

#include "batch/batch_runner.h"
#include "tests/support/files.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;
using testing::writeBytes;

TEST(InputWalkerTest, FoldersAreWalkedInNameOrderAndEveryOtherPathIsKeptWithItsReason)
{
    const ScratchFolder scratch;
    fs::create_directories(scratch / "lib/B");
    writeBytes(scratch / "lib/b.flac", "x");
    writeBytes(scratch / "lib/a.MP3", "x");
    writeBytes(scratch / "lib/B/c.wav", "x");
    writeBytes(scratch / "lib/notes.txt", "x");
    writeBytes(scratch / "given.dat", "x");

    const std::vector<BatchInput> found = collectInputs({scratch / "lib/", scratch / "given.dat",
                                                         scratch / "missing.flac", scratch / "lib/b.flac"});
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(found[0].path, scratch / "lib/B/c.wav");
    EXPECT_EQ(found[1].path, scratch / "lib/a.MP3");
    EXPECT_EQ(found[2].path, scratch / "lib/b.flac");
    EXPECT_EQ(found[2].shown, scratch / "lib/b.flac") << "shown as named, without the trailing separator";
    // Given directly, any extension is taken.
    EXPECT_EQ(found[3].path, scratch / "given.dat");
    EXPECT_TRUE(found[3].error.empty());
    EXPECT_EQ(found[4].path, scratch / "missing.flac");
    EXPECT_EQ(found[4].error, "Cannot read this path: No such file or directory.");
    // b.flac, named a second time, came once.
}

TEST(InputWalkerTest, OnlyFilesNamedDirectlyMayBeRecognisedByContent)
{
    const ScratchFolder scratch;
    const std::string flac = testing::readBytes(testing::testAudio("decode", "ref/2ch-44100Hz-16bit.flac"));
    ASSERT_FALSE(flac.empty());
    scratch.touch("lib/take.flac", flac);
    scratch.touch("take.dat", flac);

    // A file named a second time after its folder keeps the walk's origin.
    const std::vector<BatchInput> found =
        collectInputs({scratch / "lib", scratch / "take.dat", scratch / "lib/take.flac"});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_FALSE(found[0].givenDirectly);
    EXPECT_TRUE(found[1].givenDirectly);

    // The batch hands that origin to the analysis: the FLAC named .dat is decoded.
    class Collect : public BatchObserver {
    public:
        void record(std::size_t, FileReport&& record) override { records.push_back(std::move(record)); }
        std::vector<FileReport> records;
    } observer;
    const std::atomic<bool> stop{false};
    std::vector<BatchInput> inputs = found;
    inputs.push_back({scratch / "take.dat", scratch / "take.dat", {}, false});
    runBatch(inputs, BatchSettings{}, stop, observer);
    ASSERT_EQ(observer.records.size(), 3u);
    EXPECT_EQ(observer.records[1].error, "");
    EXPECT_EQ(observer.records[1].codec, "FLAC");
    EXPECT_EQ(observer.records[2].error.rfind("Unsupported format.", 0), 0u) << "not named directly";
}

TEST(InputWalkerTest, APathNamedAgainInALaterAddComesOnceAtItsFirstPlace)
{
    const ScratchFolder scratch;
    fs::create_directories(scratch / "lib");
    writeBytes(scratch / "lib/a.flac", "x");
    std::vector<fs::path> seen;
    InputWalker walker([&](BatchInput&& input) {
        seen.push_back(input.path);
        return true;
    });
    // Enough paths for the set of those seen to grow many times over.
    constexpr int kCount = 3000;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_TRUE(walker.add(scratch / ("gone/" + std::to_string(i) + ".flac")));
    }
    ASSERT_TRUE(walker.add(scratch / "lib"));
    for (int i = kCount - 1; i >= 0; --i) {
        ASSERT_TRUE(walker.add(scratch / ("gone/x/../" + std::to_string(i) + ".flac/")));
    }
    ASSERT_TRUE(walker.add(scratch / "lib/./a.flac"));
    ASSERT_EQ(seen.size(), kCount + 1u);
    EXPECT_EQ(seen[17], scratch / "gone/17.flac");
    EXPECT_EQ(seen[kCount], scratch / "lib/a.flac");
}

TEST(InputWalkerTest, TheReceiverEndsTheWalk)
{
    const ScratchFolder scratch;
    for (const char* name : {"1.flac", "2.flac", "3.flac", "4.flac"}) {
        writeBytes(scratch / name, "x");
    }
    std::vector<fs::path> seen;
    walkInputs({scratch.path(), scratch / "4.flac"}, [&](BatchInput&& input) {
        seen.push_back(input.path.filename());
        return seen.size() < 2;
    });
    EXPECT_EQ(seen, (std::vector<fs::path>{"1.flac", "2.flac"}));
}

TEST(InputWalkerTest, RelativeNamesStayRelativeForDisplayAndBecomeAbsoluteForTheRecord)
{
    const ScratchFolder scratch;
    writeBytes(scratch / "song.flac", "x");
    const fs::path before = fs::current_path();
    fs::current_path(scratch.path());
    const std::vector<BatchInput> found = collectInputs({"./song.flac", "."});
    fs::current_path(before);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].shown, "song.flac");
    EXPECT_EQ(found[0].path, scratch / "song.flac");
    EXPECT_EQ(normalAbsolute("/a/b/../c/"), "/a/c");
}

} // namespace
} // namespace orvel
