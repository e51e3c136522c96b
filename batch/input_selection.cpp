// SPDX-License-Identifier: MIT
#include "batch/input_selection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "text/utf8.h"

namespace orvel {

std::vector<std::filesystem::path> readPathList(const std::filesystem::path& list, bool nulSeparated)
{
    const bool fromStdin = list == "-";
    std::FILE* in = fromStdin ? stdin : std::fopen(list.c_str(), "rbe");
    if (in == nullptr) {
        throw std::runtime_error("cannot read the list " + displayName(list) + ": " + std::strerror(errno));
    }
    const char separator = nulSeparated ? '\0' : '\n';
    std::vector<std::filesystem::path> paths;
    std::string entry;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            if (buffer[i] != separator) {
                entry += buffer[i];
            } else if (!entry.empty()) {
                paths.emplace_back(std::move(entry));
                entry.clear();
            }
        }
    }
    const bool failed = std::ferror(in) != 0;
    if (!fromStdin) {
        std::fclose(in);
    }
    if (failed) {
        throw std::runtime_error("cannot read the list " + displayName(list));
    }
    if (!entry.empty()) {
        paths.emplace_back(std::move(entry));
    }
    return paths;
}

std::uint64_t stableHash(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool inShard(const BatchInput& input, const Shard& shard)
{
    if (shard.count <= 1) {
        return true;
    }
    return stableHash(input.shown.native()) % shard.count == shard.index - 1;
}

} // namespace orvel
