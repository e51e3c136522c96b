// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string_view>

namespace orvel {

// A check's verdict. None belongs to a record whose analysis failed.
enum class Verdict { None, EvidenceFound, Possible, NoEvidence, Inconclusive, NotApplicable };

// Every verdict a check gives, in the order counts are listed.
inline constexpr std::array<Verdict, 5> kVerdicts = {Verdict::EvidenceFound, Verdict::Possible, Verdict::NoEvidence,
                                                     Verdict::Inconclusive, Verdict::NotApplicable};

// "Evidence found", "Possible", "No evidence", "Inconclusive", "Not applicable";
// empty for None.
[[nodiscard]] std::string_view verdictText(Verdict verdict);

// The verdicts that point at a lower-quality origin.
[[nodiscard]] constexpr bool isFinding(Verdict verdict)
{
    return verdict == Verdict::EvidenceFound || verdict == Verdict::Possible;
}

// How a text is coloured, in the window and on a colour terminal alike.
enum class Tone { Primary, Secondary, Accent, Evidence, Error };

// Findings stand out, "No evidence" takes the accent, the rest stays quiet.
[[nodiscard]] Tone verdictTone(Verdict verdict);

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// The one colour table of the tones.
[[nodiscard]] Rgb toneColour(Tone tone);

// For test failure messages.
std::ostream& operator<<(std::ostream& out, Verdict verdict);

} // namespace orvel
