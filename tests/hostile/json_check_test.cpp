// SPDX-License-Identifier: MIT
// The strict checker the fuzz targets and these tests judge reports with: it
// must refuse what a lenient parser lets through, or a broken report passes.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/json.h"

namespace {

using orvel::testing::isStrictJson;
using orvel::testing::isValidUtf8;

TEST(JsonCheckTest, Utf8ShortestFormsOfScalarsOnly)
{
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ASCII \x7F"));
    EXPECT_TRUE(isValidUtf8("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF"));
    for (const std::string bad : {"\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xED\xBF\xBF",
                                  "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF", "ok\xE2\x82"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << testing::PrintToString(bad);
    }
}

TEST(JsonCheckTest, AcceptsDocumentsOfEveryKind)
{
    for (const std::string good :
         {R"({"tool":"K","reports":[],"n":-0.5e+3,"ok":true,"no":false,"x":null})", "[1,2.25,3E9]", R"("\u00e9\ud83c\udfb5\n")",
          " \r\n\t{ \"a\" : [ { } , [ ] ] } \n", "0", "-12"}) {
        EXPECT_TRUE(isStrictJson(good)) << good;
    }
}

TEST(JsonCheckTest, RefusesWhatLenientParsersLetThrough)
{
    for (const std::string bad :
         {"", "{", "[1,]", R"({"a":1,})", "{'a':1}", R"({"a" 1})", "[01]", "[1.]", "[.5]", "[1e]", "[+1]", "[NaN]",
          "[Infinity]", "[nan]", "[inf]", "tru", "nul", R"(["\x41"])", R"(["\u12G4"])", R"(["\ud800"])",
          R"(["\udc00"])", R"(["\ud800\u0041"])", "[\"tab\there\"]", "[\"line\nfeed\"]", "[1] [2]", "{}x",
          "[\"\xC0\xAF\"]", "[\"\xED\xA0\x80\"]"}) {
        EXPECT_FALSE(isStrictJson(bad)) << testing::PrintToString(bad);
    }
}

TEST(JsonCheckTest, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    EXPECT_TRUE(isStrictJson(std::string(60, '[') + std::string(60, ']')));
    EXPECT_FALSE(isStrictJson(std::string(100000, '[') + std::string(100000, ']')));
}

} // namespace
