// SPDX-License-Identifier: MIT
#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "tests/support/files.h"

namespace orvel {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8Test, ValidTextPassesUnchanged)
{
    EXPECT_EQ(sanitizeUtf8(""), "");
    EXPECT_EQ(sanitizeUtf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // The edges of each sequence length.
    const std::string edges = "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(sanitizeUtf8(edges), edges);
    EXPECT_TRUE(isValidUtf8(edges));
    EXPECT_EQ(sanitizeUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf8Test, InvalidUtf8BecomesOneReplacementPerMaximalBadSequence)
{
    EXPECT_EQ(sanitizeUtf8("\xFF"), kReplacement);
    EXPECT_EQ(sanitizeUtf8("a\x80" "b"), "a" + kReplacement + "b");
    // Overlong forms, encoded surrogates and values past U+10FFFF are rejected byte by byte.
    EXPECT_EQ(sanitizeUtf8("\xC0\xAF"), kReplacement + kReplacement);
    EXPECT_EQ(sanitizeUtf8("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(sanitizeUtf8("\xF4\x90\x80\x80"), kReplacement + kReplacement + kReplacement + kReplacement);
    // A truncated sequence is one replacement, and the next character survives.
    EXPECT_EQ(sanitizeUtf8("\xE2\x82" "x"), kReplacement + "x");
    EXPECT_EQ(sanitizeUtf8("\xF0\x9F\x98"), kReplacement);
    EXPECT_EQ(sanitizeUtf8("\xE2\x82\xAC\xE2"), "\xE2\x82\xAC" + kReplacement);
    for (const char* bad : {"\xFF", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82"}) {
        EXPECT_FALSE(isValidUtf8(bad));
        EXPECT_TRUE(isValidUtf8(sanitizeUtf8(bad)));
    }
}

#if !defined(_WIN32)
TEST(Utf8Test, FileNamesShowEveryStrayByteAsOneReplacement)
{
    const std::string latin1Name = "caf\xE9 \xFF.flac";
    EXPECT_EQ(displayName(latin1Name), "caf" + kReplacement + " " + kReplacement + ".flac");
    EXPECT_EQ(displayName("m\xC3\xBCsic"), "m\xC3\xBCsic");
    // Encoded surrogates are bytes, not text: three bytes, three replacements.
    EXPECT_EQ(displayName("\xED\xB2\x80"), kReplacement + kReplacement + kReplacement);
    // A truncated sequence too, unlike message text.
    EXPECT_EQ(displayBytes("\xE2\x82" "x"), kReplacement + kReplacement + "x");

    testing::ScratchFolder folder;
    const std::filesystem::path onDisk = folder.path() / latin1Name;
    testing::writeBytes(onDisk, "x");
    const int fd = ::open(onDisk.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << "a file whose name is not UTF-8 must still open";
    if (fd >= 0) {
        ::close(fd);
    }
}
#else
// Windows names are UTF-16, not bytes.
TEST(Utf8Test, WindowsFileNamesShowEachUnpairedSurrogateAsOneReplacement)
{
    EXPECT_EQ(displayName(std::filesystem::path(L"m\u00FCsic \U0001F600.flac")),
              "m\xC3\xBCsic \xF0\x9F\x98\x80.flac");
    EXPECT_EQ(displayName(std::filesystem::path(std::wstring{L'a', wchar_t(0xDC00), wchar_t(0xD800), L'b'})),
              "a" + kReplacement + kReplacement + "b");
}

// Lists, hashes, reports and the cache hold names as bytes: on Windows the
// UTF-16 is UTF-8, an unpaired surrogate keeps a three-byte form of its own,
// and every name comes back whole.
TEST(Utf8Test, WindowsFileNamesBecomeBytesAndComeBackWhole)
{
    const struct {
        std::wstring name;
        std::string bytes;
    } cases[] = {
        {L"C:\\music\\a.flac", "C:\\music\\a.flac"},
        {L"m\u00FCsic \U0001F600.flac", "m\xC3\xBCsic \xF0\x9F\x98\x80.flac"},
        {std::wstring{L'a', wchar_t(0xDC00), L'b'}, "a\xED\xB0\x80" "b"},
        {std::wstring{wchar_t(0xD800)}, "\xED\xA0\x80"},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_EQ(pathBytes(std::filesystem::path(name)), bytes);
        EXPECT_EQ(pathFromBytes(bytes).native(), name);
    }
    // Bytes that are not UTF-8 at all (a list in another encoding) still name something.
    EXPECT_EQ(pathFromBytes("caf\xE9").native(), L"caf\u00E9");
}
#endif

} // namespace
} // namespace orvel
