// SPDX-License-Identifier: MIT
// The README states behaviour; these tests fail when a stated list or status
// drifts from what the programs do, or when the claims table names a test
// that does not exist.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "decode/audio_paths.h"
#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;

// The README with every run of white space made one space.
std::string readmeText()
{
    const std::string raw = readBytes(fs::path(KESTRONE_SOURCE_DIR) / "README.md");
    std::string flat;
    for (const char ch : raw) {
        const bool space = ch == ' ' || ch == '\n' || ch == '\t';
        if (!(space && !flat.empty() && flat.back() == ' ')) {
            flat.push_back(space ? ' ' : ch);
        }
    }
    return flat;
}

// The text between two markers, both required.
std::string between(const std::string& text, const std::string& from, const std::string& to)
{
    const auto start = text.find(from);
    if (start == std::string::npos) {
        ADD_FAILURE() << "not found: " << from;
        return {};
    }
    const auto end = text.find(to, start + from.size());
    if (end == std::string::npos) {
        ADD_FAILURE() << "not found after it: " << to;
        return {};
    }
    return text.substr(start + from.size(), end - start - from.size());
}

// The ".ext" words of a text, trailing punctuation dropped.
std::set<std::string> extensionsIn(const std::string& text)
{
    std::set<std::string> found;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        while (!word.empty() && (word.back() == ',' || word.back() == '.' || word.back() == ';')) {
            word.pop_back();
        }
        if (word.size() > 1 && word.front() == '.') {
            found.insert(word);
        }
    }
    return found;
}

TEST(ReadmeClaimsTest, TheListedExtensionsAreExactlyTheWalkedAndDecodedOnes)
{
    const std::set<std::string> listed =
        extensionsIn(between(readmeText(), "A folder is walked recursively for ", " files in name order"));
    ASSERT_EQ(listed.size(), 19u);

    // The walk finds each of them, in any case, and nothing else.
    const ScratchFolder scratch;
    for (const std::string& ext : listed) {
        EXPECT_TRUE(orvel::isSupportedAudioExtension(ext)) << ext;
        std::string upper = ext;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        scratch.touch("lower" + ext);
        scratch.touch("upper" + upper);
    }
    for (const char* other : {"x.mpc", "x.dsf", "x.txt", "x.m4v", "x.webm", "x.wvc"}) {
        scratch.touch(other);
    }
    std::size_t walked = 0;
    orvel::walkAudioFolder(scratch.path(), [&](const fs::path&) {
        ++walked;
        return true;
    });
    EXPECT_EQ(walked, 2 * listed.size());

    // The unsupported-format message and kestrone-scan --help name the same set.
    EXPECT_EQ(extensionsIn(kUnsupportedMessage), listed);
    const ProcessResult help = runProcess({scanProgram(), "--help"});
    ASSERT_EQ(help.exitCode, 0);
    EXPECT_EQ(extensionsIn(between(help.out, "walked\nrecursively for ", " files")), listed);
}

TEST(ReadmeClaimsTest, TheExitStatusesOfTheReadmeAreThoseOfTheHelp)
{
    const std::string stated = between(readmeText(), "Exit status: ", "interrupted.");
    const ProcessResult help = runProcess({scanProgram(), "--help"});
    ASSERT_EQ(help.exitCode, 0);
    std::string helpText = between(help.out, "Exit status: ", "interrupted.");
    std::replace(helpText.begin(), helpText.end(), '\n', ' ');
    EXPECT_EQ(stated, helpText);
    EXPECT_EQ(stated, "0 every file analysed, 1 some file failed or none was found, 2 a report could not be written, "
                      "64 usage error, "
                      "65 a --merge part or a --files-from list cannot be read, 130 ");
}

TEST(ReadmeClaimsTest, EveryTestTheClaimsTableNamesExists)
{
    const std::string readme = readBytes(fs::path(KESTRONE_SOURCE_DIR) / "README.md");
    const std::string table = between(readme, "## Claims and the tests behind them", "\n## ");
    std::string sources;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(KESTRONE_SOURCE_DIR) / "tests")) {
        if (entry.is_regular_file() && entry.path().extension() == ".cpp") {
            sources += readBytes(entry.path());
        }
    }
    const std::regex named("`([A-Za-z]+Test)\\.([A-Za-z0-9]+)`");
    std::size_t count = 0;
    for (auto it = std::sregex_iterator(table.begin(), table.end(), named); it != std::sregex_iterator(); ++it) {
        ++count;
        // TEST(Suite, Name), TEST_F(Suite, Name) or TEST_P(Suite, Name)
        // Built in steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "(" + str().
        std::string call = "(";
        call += (*it)[1].str();
        call += ", ";
        call += (*it)[2].str();
        call += ")";
        EXPECT_NE(sources.find(call), std::string::npos) << (*it)[0].str();
    }
    EXPECT_GE(count, 30u);
}

} // namespace
