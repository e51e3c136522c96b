// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "batch/input_walker.h"

namespace orvel {

// The inputs of a run, in a small part of the memory a std::vector<BatchInput>
// takes for a long list: a path is kept as the bytes it does not share with
// the path before it, the name as shown as a part of the path where it is one,
// and each error text once. at() rebuilds an input; once adding is over,
// several threads may call it at the same time.
class CompactInputs {
public:
    void add(const BatchInput& input);

    [[nodiscard]] std::size_t size() const { return m_count; }
    [[nodiscard]] BatchInput at(std::size_t index) const;

private:
    std::string m_bytes;                        // the entries, one after the other
    std::vector<std::uint64_t> m_blockStarts;   // where every kBlock-th entry begins; it shares nothing
    std::vector<std::string> m_errors;          // each text once; entries hold its place + 1
    std::unordered_map<std::string, std::uint32_t> m_errorIds;
    std::string m_lastPath;
    std::size_t m_count = 0;
};

} // namespace orvel
