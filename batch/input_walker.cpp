// SPDX-License-Identifier: MIT
#include "batch/input_walker.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <system_error>

#include "decode/audio_paths.h"
#include "text/utf8.h"

namespace orvel {
namespace {

namespace fs = std::filesystem;

// "dir/" and "dir" name the same folder; keep the form without the separator
// so that walked files come out as "dir/a.flac".
fs::path withoutTrailingSeparator(fs::path path)
{
    if (!path.has_filename() && path.has_relative_path()) {
        path = path.parent_path();
    }
    return path;
}

std::string reasonText(const std::error_code& ec) { return sanitizeUtf8(ec.message()); }

// 128 bits of a path: two chains of a 64-bit mixing step with different
// seeds. Two of a million paths share a fingerprint with a chance of about
// 2^-88, far below that of a memory error.
struct Fingerprint {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool operator==(const Fingerprint&) const = default;
};

std::uint64_t mixed(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t chain(std::string_view bytes, std::uint64_t seed)
{
    std::uint64_t state = mixed(seed ^ bytes.size());
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + at, 8);
        state = mixed(state ^ word) + seed;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, bytes.data() + at, bytes.size() - at);
    return mixed(mixed(state ^ tail) + seed);
}

Fingerprint fingerprintOf(std::string_view bytes)
{
    Fingerprint print{chain(bytes, 0x9e3779b97f4a7c15ULL), chain(bytes, 0xc2b2ae3d27d4eb4fULL)};
    if (print == Fingerprint{}) {
        print.low = 1; // all zero marks a free slot
    }
    return print;
}

} // namespace

// An open-addressing set of fingerprints: 16 bytes a slot, at most three
// quarters of them used.
class InputWalker::SeenPaths {
public:
    // True when the path had not been seen.
    bool insert(std::string_view path)
    {
        if (4 * (m_used + 1) > 3 * m_slots.size()) {
            grow();
        }
        const Fingerprint print = fingerprintOf(path);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t slot = print.high & mask;; slot = (slot + 1) & mask) {
            if (m_slots[slot] == print) {
                return false;
            }
            if (m_slots[slot] == Fingerprint{}) {
                m_slots[slot] = print;
                ++m_used;
                return true;
            }
        }
    }

private:
    void grow()
    {
        std::vector<Fingerprint> old(std::max<std::size_t>(64, 2 * m_slots.size()));
        old.swap(m_slots);
        const std::size_t mask = m_slots.size() - 1;
        for (const Fingerprint& print : old) {
            if (print == Fingerprint{}) {
                continue;
            }
            std::size_t slot = print.high & mask;
            while (!(m_slots[slot] == Fingerprint{})) {
                slot = (slot + 1) & mask;
            }
            m_slots[slot] = print;
        }
    }

    std::vector<Fingerprint> m_slots;
    std::size_t m_used = 0;
};

namespace {

class InputList {
public:
    InputList(const std::function<bool(BatchInput&&)>& onInput, InputWalker::SeenPaths& seen)
        : m_onInput(onInput), m_seen(seen)
    {
    }

    // False once the receiver wants no more.
    bool add(const fs::path& absolute, const fs::path& shown, std::string error = {}, bool givenDirectly = false)
    {
        if (!m_seen.insert(pathBytes(absolute))) {
            return true;
        }
        return m_onInput(BatchInput{absolute, shown, std::move(error), givenDirectly});
    }

private:
    const std::function<bool(BatchInput&&)>& m_onInput;
    InputWalker::SeenPaths& m_seen;
};

bool addGivenPath(InputList& list, const fs::path& given)
{
    const fs::path shown = withoutTrailingSeparator(given.lexically_normal());
    std::error_code ec;
    fs::path absolute = fs::absolute(given, ec);
    if (ec || given.empty()) {
        return list.add(shown, shown,
                        "Cannot read this path: " +
                            reasonText(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory)) + ".");
    }
    absolute = withoutTrailingSeparator(absolute.lexically_normal());

    // Links given directly are followed.
    const fs::file_status status = fs::status(absolute, ec);
    if (ec) {
        return list.add(absolute, shown, "Cannot read this path: " + reasonText(ec) + ".");
    }
    if (fs::is_regular_file(status)) {
        return list.add(absolute, shown, {}, true);
    }
    if (!fs::is_directory(status)) {
        // Never hand a FIFO or a device to a decoder: reading one may block.
        return list.add(absolute, shown, "This path is not a regular file.");
    }
    // The walker skips folders it cannot open; one named directly must not
    // vanish without a word.
    fs::directory_iterator probe(absolute, ec);
    if (ec) {
        return list.add(absolute, shown, "Cannot read this folder: " + reasonText(ec) + ".");
    }
    bool more = true;
    const auto shownOf = [&](const fs::path& inside) {
        return (shown / inside.lexically_relative(absolute)).lexically_normal();
    };
    walkAudioFolder(
        absolute,
        [&](const fs::path& file) {
            more = list.add(file, shownOf(file));
            return more;
        },
        {},
        [&](const fs::path& unreadable, const std::error_code& reason, bool isFolder) {
            more = list.add(unreadable, shownOf(unreadable),
                            std::string(isFolder ? "Cannot read this folder: " : "Cannot read this path: ") +
                                reasonText(reason) + ".");
            return more;
        });
    return more;
}

} // namespace

InputWalker::InputWalker(std::function<bool(BatchInput&&)> onInput)
    : m_onInput(std::move(onInput)), m_seen(std::make_unique<SeenPaths>())
{
}

InputWalker::~InputWalker() = default;

bool InputWalker::add(const fs::path& given)
{
    InputList list(m_onInput, *m_seen);
    return addGivenPath(list, given);
}

void walkInputs(const std::vector<fs::path>& givenPaths, const std::function<bool(BatchInput&&)>& onInput)
{
    InputWalker walker(onInput);
    for (const fs::path& given : givenPaths) {
        if (!walker.add(given)) {
            return;
        }
    }
}

std::vector<BatchInput> collectInputs(const std::vector<fs::path>& givenPaths)
{
    std::vector<BatchInput> inputs;
    walkInputs(givenPaths, [&](BatchInput&& input) {
        inputs.push_back(std::move(input));
        return true;
    });
    return inputs;
}

fs::path normalAbsolute(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return withoutTrailingSeparator((ec ? path : absolute).lexically_normal());
}

} // namespace orvel
