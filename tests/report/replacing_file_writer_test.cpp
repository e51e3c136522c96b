// SPDX-License-Identifier: MIT
#include "report/replacing_file_writer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/files.h"

namespace orvel {
namespace {

using testing::readBytes;
using testing::ScratchFolder;
using testing::writeBytes;

constexpr uid_t kNobody = 65534;

// Runs body in a forked child and returns its exit code (or 128 + signal).
// Limits, privileges and the working folder change only for the child.
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Root passes every permission check; drop to an unprivileged user so that
// permission bits mean what they say. Returns false when that is impossible.
bool becomeUnprivileged()
{
    if (::geteuid() != 0) {
        return true;
    }
    return ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

ino_t inodeOf(const std::filesystem::path& path)
{
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

class ReplacingFileWriterTest : public ::testing::Test {
protected:
    ScratchFolder m_folder;
};

TEST_F(ReplacingFileWriterTest, CreatesANewFileWithTheUmaskApplied)
{
    const mode_t previous = ::umask(027);
    const std::filesystem::path target = m_folder / "report.json";
    {
        ReplacingFileWriter out(target);
        ASSERT_TRUE(out.isOpen());
        EXPECT_TRUE(out.write("{\"a\":"));
        EXPECT_TRUE(out.write(""));
        EXPECT_TRUE(out.write("1}"));
        EXPECT_FALSE(std::filesystem::exists(target)) << "nothing appears before commit";
        EXPECT_TRUE(out.commit());
    }
    ::umask(previous);
    EXPECT_EQ(readBytes(target), "{\"a\":1}");
    EXPECT_EQ(modeOf(target), 0640U);
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"});
}

TEST_F(ReplacingFileWriterTest, ReplacesAtomicallyAndKeepsThePermissionBits)
{
    const std::filesystem::path target = m_folder / "report.json";
    writeBytes(target, "old content");
    ::chmod(target.c_str(), 0604);
    const int reader = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const ino_t oldInode = inodeOf(target);

    ReplacingFileWriter out(target);
    ASSERT_TRUE(out.isOpen());
    ASSERT_TRUE(out.write("new"));
    EXPECT_EQ(readBytes(target), "old content") << "the target is untouched while writing";
    const std::vector<std::string> during = m_folder.entries();
    ASSERT_EQ(during.size(), 2U);
    EXPECT_EQ(during[0].rfind(".report.json.", 0), 0U);
    EXPECT_EQ(during[0].substr(during[0].size() - 4), ".tmp");
    ASSERT_TRUE(out.commit());

    EXPECT_EQ(readBytes(target), "new");
    EXPECT_EQ(modeOf(target), 0604U);
    EXPECT_NE(inodeOf(target), oldInode) << "a new file was renamed into place";
    char seen[32] = {};
    EXPECT_EQ(::read(reader, seen, sizeof seen), 11);
    EXPECT_STREQ(seen, "old content") << "an open reader keeps the complete old file";
    ::close(reader);
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"});
}

TEST_F(ReplacingFileWriterTest, AnUncommittedWriterLeavesNoTraceAndTheTargetIntact)
{
    const std::filesystem::path target = m_folder / "report.json";
    writeBytes(target, "keep me");
    {
        ReplacingFileWriter out(target);
        ASSERT_TRUE(out.isOpen());
        EXPECT_TRUE(out.write("half a rep"));
    }
    EXPECT_EQ(readBytes(target), "keep me");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"});
}

TEST_F(ReplacingFileWriterTest, CommitsOnceAndRefusesWritesAfterwards)
{
    const std::filesystem::path target = m_folder / "once.txt";
    ReplacingFileWriter out(target);
    ASSERT_TRUE(out.write("a"));
    ASSERT_TRUE(out.commit());
    EXPECT_FALSE(out.write("b"));
    EXPECT_FALSE(out.commit());
    EXPECT_EQ(readBytes(target), "a");
}

TEST_F(ReplacingFileWriterTest, CannotOpenWhereNoFileCanBeCreated)
{
    EXPECT_FALSE(ReplacingFileWriter(m_folder / "missing" / "report.json").isOpen());
    EXPECT_FALSE(ReplacingFileWriter(std::filesystem::path()).isOpen());
    EXPECT_FALSE(ReplacingFileWriter(m_folder.path()).isOpen()) << "a folder is not a report file";
    EXPECT_TRUE(m_folder.entries().empty());
}

TEST_F(ReplacingFileWriterTest, ReadOnlyFolderIsNotOpenAndItsFileStaysUntouched)
{
    const std::filesystem::path locked = m_folder / "locked";
    std::filesystem::create_directory(locked);
    writeBytes(locked / "report.json", "old");
    ::chmod(m_folder.path().c_str(), 0755);
    ::chmod(locked.c_str(), 0555);
    ::chmod((locked / "report.json").c_str(), 0666);

    const int result = inChild([&] {
        if (!becomeUnprivileged()) {
            return 77;
        }
        ReplacingFileWriter fresh(locked / "new.json");
        ReplacingFileWriter existing(locked / "report.json");
        return fresh.isOpen() || existing.isOpen() ? 1 : 0;
    });
    if (result == 77) {
        GTEST_SKIP() << "cannot drop root privileges here";
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(locked / "report.json"), "old");
    EXPECT_FALSE(std::filesystem::exists(locked / "new.json"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked), {}), 1);
}

TEST_F(ReplacingFileWriterTest, ReadOnlyTargetIsNotReplaced)
{
    const std::filesystem::path target = m_folder / "report.json";
    writeBytes(target, "protected");
    ::chmod(target.c_str(), 0444);
    ::chmod(m_folder.path().c_str(), 0777);
    const int result = inChild([&] {
        if (!becomeUnprivileged()) {
            return 77;
        }
        ReplacingFileWriter out(target);
        return out.isOpen() ? 1 : 0;
    });
    ::chmod(m_folder.path().c_str(), 0700);
    if (result == 77) {
        GTEST_SKIP() << "cannot drop root privileges here";
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(target), "protected");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"});
}

TEST_F(ReplacingFileWriterTest, ReadOnlyTargetIsNotReplacedWhoeverRunsAndSaysWhy)
{
    // Run as is (root in containers, where access() would allow anything):
    // the permission bits decide, not the caller's rights.
    for (const mode_t mode : {mode_t{0444}, mode_t{0400}, mode_t{0000}, mode_t{0464}}) {
        SCOPED_TRACE(mode);
        const std::filesystem::path target = m_folder / "report.json";
        writeBytes(target, "protected");
        ::chmod(target.c_str(), mode);
        ReplacingFileWriter out(target);
        EXPECT_FALSE(out.isOpen());
        EXPECT_EQ(out.failure(), "the file is read-only");
        EXPECT_EQ(readBytes(target), "protected");
        EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"report.json"});
        ::chmod(target.c_str(), 0644);
    }
    // The owner's write bit alone lets it be replaced.
    writeBytes(m_folder / "mine.json", "old");
    ::chmod((m_folder / "mine.json").c_str(), 0200);
    ReplacingFileWriter out(m_folder / "mine.json");
    ASSERT_TRUE(out.isOpen());
    EXPECT_EQ(out.failure(), "");
    out.write("new");
    EXPECT_TRUE(out.commit());
    EXPECT_EQ(modeOf(m_folder / "mine.json") & 0777, 0200u);
}

TEST_F(ReplacingFileWriterTest, EachFailureNamesTheSystemsReason)
{
    EXPECT_EQ(ReplacingFileWriter(m_folder / "missing" / "report.json").failure(), "No such file or directory");
    EXPECT_EQ(ReplacingFileWriter(m_folder.path()).failure(), "Is a directory");
    writeBytes(m_folder / "plain", "x");
    EXPECT_EQ(ReplacingFileWriter(m_folder / "plain" / "report.json").failure(), "Not a directory");
    ReplacingFileWriter fine(m_folder / "fine.json");
    EXPECT_EQ(fine.failure(), "");
}

TEST_F(ReplacingFileWriterTest, FailingPartWayKeepsTheOldTargetAndRemovesTheTemporary)
{
    const std::filesystem::path target = m_folder / "big.bin";
    writeBytes(target, "previous complete report");
    const int result = inChild([&] {
        // The program ignores SIGXFSZ, so the limit shows up as EFBIG from write().
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 77;
        }
        ReplacingFileWriter out(target);
        if (!out.isOpen()) {
            return 2;
        }
        const bool firstWrite = out.write(std::string(3000, 'a'));
        const bool secondWrite = out.write(std::string(3000, 'b'));
        const bool laterWrite = out.write("c");
        const bool committed = out.commit();
        return firstWrite && !secondWrite && !laterWrite && !committed ? 0 : 1;
    });
    ASSERT_NE(result, 77);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(target), "previous complete report");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"big.bin"});
}

TEST_F(ReplacingFileWriterTest, AcceptsABareFileNameInTheWorkingFolder)
{
    const int result = inChild([&] {
        if (::chdir(m_folder.path().c_str()) != 0) {
            return 3;
        }
        ReplacingFileWriter out("plain.json");
        if (!out.isOpen() || !out.write("[]")) {
            return 1;
        }
        return out.commit() ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(m_folder / "plain.json"), "[]");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"plain.json"});
}

TEST_F(ReplacingFileWriterTest, ALinkToAnExistingFileStaysALink)
{
    std::filesystem::create_directory(m_folder / "real");
    writeBytes(m_folder / "real" / "report.json", "old");
    std::filesystem::create_symlink("real/report.json", m_folder / "link.json");

    ReplacingFileWriter out(m_folder / "link.json");
    ASSERT_TRUE(out.isOpen());
    ASSERT_TRUE(out.write("new"));
    ASSERT_TRUE(out.commit());

    EXPECT_TRUE(std::filesystem::is_symlink(m_folder / "link.json"));
    EXPECT_EQ(readBytes(m_folder / "real" / "report.json"), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder / "real"), {}), 1);
}

TEST_F(ReplacingFileWriterTest, ADanglingLinkIsReplacedByTheFile)
{
    std::filesystem::create_symlink("nowhere/report.json", m_folder / "dangling.json");
    ReplacingFileWriter out(m_folder / "dangling.json");
    ASSERT_TRUE(out.isOpen());
    ASSERT_TRUE(out.write("x"));
    ASSERT_TRUE(out.commit());
    EXPECT_FALSE(std::filesystem::is_symlink(m_folder / "dangling.json"));
    EXPECT_EQ(readBytes(m_folder / "dangling.json"), "x");
}

TEST_F(ReplacingFileWriterTest, AFifoIsWrittenDirectlyAndStaysAFifo)
{
    const std::filesystem::path fifo = m_folder / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A reader opened without blocking lets the writer open at once; the few
    // bytes wait in the pipe. Were the FIFO replaced, the reader would see none.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    {
        ReplacingFileWriter out(fifo);
        EXPECT_TRUE(out.isOpen());
        EXPECT_TRUE(out.write("streamed"));
        EXPECT_TRUE(out.commit());
    }
    char received[32] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 8);
    ::close(reader);
    EXPECT_STREQ(received, "streamed");
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{"pipe"});
}

TEST_F(ReplacingFileWriterTest, ANameNearTheLengthLimitStillWorks)
{
    const std::string name = std::string(250, 'n') + ".json";
    ReplacingFileWriter out(m_folder / name);
    ASSERT_TRUE(out.isOpen());
    ASSERT_TRUE(out.write("long"));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(readBytes(m_folder / name), "long");
    EXPECT_EQ(m_folder.entries(), std::vector<std::string>{name});
}

} // namespace
} // namespace orvel
