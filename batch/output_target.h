// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace orvel {

// Why an output must not be written, or empty when it may. Refused: an output
// that is, after following links (same device and inode), one of the run's
// inputs, or an existing audio file of a supported extension. Every front end
// asks before it writes anything, so a swapped argument or a link can never
// replace someone's audio with a report. A link to an unrelated report stays
// writable: its target is replaced and the link kept.
[[nodiscard]] std::string refusedOutputReason(const std::filesystem::path& output,
                                              const std::vector<std::filesystem::path>& inputs);

} // namespace orvel
