// SPDX-License-Identifier: MIT
#include "batch/compact_inputs.h"

#include <algorithm>
#include <string_view>

#include "text/utf8.h"

namespace orvel {
namespace {

// Entries rebuilt at most to reach one: the cost of at() against the memory
// of a full path per block.
constexpr std::size_t kBlock = 16;

void putNumber(std::string& out, std::uint64_t value)
{
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

std::uint64_t takeNumber(const std::string& in, std::size_t& at)
{
    std::uint64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(in[at++]);
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
}

// How the shown name is kept: 0 the path itself, odd (2n + 1) the path from
// byte n on, even (2n + 2) n bytes of its own that follow.
std::uint64_t shownCode(std::string_view path, std::string_view shown)
{
    if (shown == path) {
        return 0;
    }
    if (shown.size() < path.size() && path.ends_with(shown)) {
        return 2 * (path.size() - shown.size()) + 1;
    }
    return 2 * shown.size() + 2;
}

} // namespace

void CompactInputs::add(const BatchInput& input)
{
    const std::string path = pathBytes(input.path);
    std::size_t shared = 0;
    if (m_count % kBlock == 0) {
        m_blockStarts.push_back(m_bytes.size());
    } else {
        const std::size_t most = std::min(path.size(), m_lastPath.size());
        while (shared < most && path[shared] == m_lastPath[shared]) {
            ++shared;
        }
    }
    putNumber(m_bytes, shared);
    putNumber(m_bytes, path.size() - shared);
    m_bytes.append(path, shared);

    const std::string shown = pathBytes(input.shown);
    const std::uint64_t code = shownCode(path, shown);
    putNumber(m_bytes, code);
    if (code != 0 && code % 2 == 0) {
        m_bytes += shown;
    }

    std::uint64_t error = 0;
    if (!input.error.empty()) {
        const auto [found, added] = m_errorIds.try_emplace(input.error, static_cast<std::uint32_t>(m_errors.size()));
        if (added) {
            m_errors.push_back(input.error);
        }
        error = found->second + 1;
    }
    putNumber(m_bytes, 2 * error + (input.givenDirectly ? 1 : 0));

    m_lastPath = path;
    ++m_count;
}

BatchInput CompactInputs::at(std::size_t index) const
{
    std::size_t at = m_blockStarts[index / kBlock];
    std::string path;
    for (std::size_t entry = index - index % kBlock;; ++entry) {
        const std::size_t shared = takeNumber(m_bytes, at);
        const std::size_t own = takeNumber(m_bytes, at);
        path.resize(shared);
        path.append(m_bytes, at, own);
        at += own;
        const std::uint64_t code = takeNumber(m_bytes, at);
        const std::size_t shownAt = at;
        const std::size_t shownBytes = code != 0 && code % 2 == 0 ? (code - 2) / 2 : 0;
        at += shownBytes;
        const std::uint64_t flags = takeNumber(m_bytes, at);
        if (entry < index) {
            continue;
        }
        BatchInput input;
        input.shown = pathFromBytes(code == 0        ? path
                                    : code % 2 == 1 ? path.substr((code - 1) / 2)
                                                    : m_bytes.substr(shownAt, shownBytes));
        input.path = pathFromBytes(path);
        if (flags / 2 != 0) {
            input.error = m_errors[flags / 2 - 1];
        }
        input.givenDirectly = flags % 2 == 1;
        return input;
    }
}

} // namespace orvel
