// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvel {

// One file to analyse, in the order the given paths produced it.
struct BatchInput {
    std::filesystem::path path;  // absolute and lexically normal: the record's "File"
    std::filesystem::path shown; // the same file as the user named it (relative stays relative)
    std::string error;           // non-empty when the path cannot be analysed at all
    bool givenDirectly = false;  // named by the user, not found by a folder walk: an
                                 // unknown extension is recognised by content
};

// Input index of a run, for index below the run's count. The analysing
// threads call it at the same time, so it must only read.
using InputAt = std::function<BatchInput(std::size_t)>;

// Expands the given paths: a folder is walked (supported extensions, no links
// followed inside it, names in byte order), anything else is taken as a file
// whatever its extension (givenDirectly). Nothing is dropped silently: a path that does not
// exist, an unreadable folder and a path that is neither a file nor a folder
// each give an input carrying an error, and the caller decides whether to
// show it. Duplicates (same normal path, case-sensitive) come once, at their
// first place. onInput returning false ends the walk.
void walkInputs(const std::vector<std::filesystem::path>& givenPaths,
                const std::function<bool(BatchInput&&)>& onInput);

// walkInputs() one given path at a time, for paths that arrive while the walk
// goes on (a list being read): duplicates are found across every add(). The
// paths seen are kept as 128-bit fingerprints, not as text, so a list of a
// million paths costs tens of megabytes, not hundreds.
class InputWalker {
public:
    explicit InputWalker(std::function<bool(BatchInput&&)> onInput);
    ~InputWalker();
    InputWalker(const InputWalker&) = delete;
    InputWalker& operator=(const InputWalker&) = delete;

    // False once onInput asked for no more; add() must not be called then.
    bool add(const std::filesystem::path& given);

    class SeenPaths; // the fingerprints, defined where the walk is

private:
    std::function<bool(BatchInput&&)> m_onInput;
    std::unique_ptr<SeenPaths> m_seen;
};

// Every input of the given paths, without a limit on the count.
[[nodiscard]] std::vector<BatchInput> collectInputs(const std::vector<std::filesystem::path>& givenPaths);

// The absolute, lexically normal form of a path without a trailing separator;
// the path itself when it has no absolute form.
[[nodiscard]] std::filesystem::path normalAbsolute(const std::filesystem::path& path);

} // namespace orvel
