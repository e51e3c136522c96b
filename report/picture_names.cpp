// SPDX-License-Identifier: MIT
#include "report/picture_names.h"

#include <algorithm>

#include "text/utf8.h"

namespace orvel {

namespace {

// Room for the longest suffix, " (1a2b3c4d) (99999).png", within a 255-byte file name.
constexpr std::size_t kMaxStem = 255 - 23;

std::string folded(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// Cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cut(std::string text, std::size_t limit)
{
    if (text.size() <= limit) {
        return text;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text;
}

std::string stemOf(const std::filesystem::path& audioFile)
{
    std::string stem = pathBytes(audioFile.filename());
    if (stem.empty() || stem == "." || stem == "..") {
        stem = "audio";
    }
    return cut(stem, kMaxStem);
}

} // namespace

void PictureNames::count(const std::filesystem::path& audioFile) { ++m_counts[folded(stemOf(audioFile))]; }

std::string PictureNames::nameFor(const std::filesystem::path& audioFile, std::uint64_t pathHash)
{
    std::string stem = stemOf(audioFile);
    if (const auto counted = m_counts.find(folded(stem)); counted != m_counts.end() && counted->second > 1) {
        constexpr char kHex[] = "0123456789abcdef";
        std::string tag;
        for (int shift = 28; shift >= 0; shift -= 4) {
            tag += kHex[(pathHash >> shift) & 0xF];
        }
        stem += " (" + tag + ")";
    }
    std::string name = stem + ".png";
    for (unsigned number = 2; m_taken.count(folded(name)) != 0; ++number) {
        name = stem + " (" + std::to_string(number) + ").png";
    }
    m_taken.insert(folded(name));
    return name;
}

} // namespace orvel
