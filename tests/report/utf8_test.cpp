// SPDX-License-Identifier: MIT
#include "report/utf8.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "tests/report/scratch_folder.h"

namespace orvel {
namespace {

const std::wstring kReplacement(1, L'\uFFFD');

std::wstring wide(std::initializer_list<char32_t> codePoints)
{
    std::wstring out;
    for (const char32_t cp : codePoints) {
        out += static_cast<wchar_t>(cp);
    }
    return out;
}

TEST(Utf8Test, ConvertsEmptyBmpAndAstralText)
{
    EXPECT_EQ(toUtf8(L""), "");
    EXPECT_EQ(fromUtf8(""), L"");
    EXPECT_EQ(toUtf8(L"a\u00e9\u20ac"), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(toUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(toUtf8(wide({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0x10000, 0x10FFFF})),
              "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
    EXPECT_EQ(fromUtf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), L"a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(toUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf8Test, RoundTripsEveryScalarValue)
{
    std::wstring all;
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp < 0xD800 || cp > 0xDFFF) {
            all += static_cast<wchar_t>(cp);
        }
    }
    EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

TEST(Utf8Test, LoneSurrogatesAndValuesBeyondUnicodeBecomeReplacement)
{
    EXPECT_EQ(toUtf8(wide({0xD800})), "\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(wide({0xDFFF, 'x'})), "\xEF\xBF\xBDx");
    // A pair of surrogates is not a character in UTF-32 text either.
    EXPECT_EQ(toUtf8(wide({0xD83D, 0xDE00})), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(wide({0x110000})), "\xEF\xBF\xBD");
}

TEST(Utf8Test, InvalidUtf8BecomesOneReplacementPerMaximalBadSequence)
{
    EXPECT_EQ(fromUtf8("\xFF"), kReplacement);
    EXPECT_EQ(fromUtf8("a\x80" "b"), L"a" + kReplacement + L"b");
    // Overlong forms, encoded surrogates and values past U+10FFFF are rejected byte by byte.
    EXPECT_EQ(fromUtf8("\xC0\xAF"), kReplacement + kReplacement);
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(fromUtf8("\xF4\x90\x80\x80"), kReplacement + kReplacement + kReplacement + kReplacement);
    // A truncated sequence is one replacement, and the next character survives.
    EXPECT_EQ(fromUtf8("\xE2\x82" "x"), kReplacement + L"x");
    EXPECT_EQ(fromUtf8("\xF0\x9F\x98"), kReplacement);
    EXPECT_EQ(fromUtf8("\xE2\x82\xAC\xE2"), L"\u20ac" + kReplacement);
}

TEST(Utf8Test, NonUtf8FileNameBytesSurviveThePathRoundTrip)
{
    const std::string latin1Name = "caf\xE9 \xFF.flac";
    const std::wstring widePath = widePathFromNative(latin1Name);
    EXPECT_EQ(widePath, L"caf" + wide({0xDCE9}) + L" " + wide({0xDCFF}) + L".flac");
    EXPECT_EQ(nativePathFromWide(widePath), latin1Name);
    EXPECT_EQ(toUtf8(widePath), "caf\xEF\xBF\xBD \xEF\xBF\xBD.flac");

    // Valid UTF-8 names are plain text; encoded surrogates are bytes, not text.
    EXPECT_EQ(widePathFromNative("m\xC3\xBCsic"), L"m\u00fcsic");
    EXPECT_EQ(nativePathFromWide(widePathFromNative("\xED\xB2\x80")), "\xED\xB2\x80");

    testing::ScratchFolder folder;
    const std::filesystem::path onDisk = folder.path() / latin1Name;
    testing::writeBytes(onDisk, "x");
    const std::wstring wideOnDisk = fromFsPath(onDisk);
    EXPECT_EQ(toFsPath(wideOnDisk).native(), onDisk.native());
    const int fd = ::open(toFsPath(wideOnDisk).c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << "a file whose name is not UTF-8 must still open";
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace
} // namespace orvel
