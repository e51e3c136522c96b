// SPDX-License-Identifier: MIT
#include "analysis/verdict.h"

#include <ostream>

namespace orvel {

std::string_view verdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::EvidenceFound: return "Evidence found";
    case Verdict::Possible: return "Possible";
    case Verdict::NoEvidence: return "No evidence";
    case Verdict::Inconclusive: return "Inconclusive";
    case Verdict::NotApplicable: return "Not applicable";
    case Verdict::None: break;
    }
    return {};
}

Tone verdictTone(Verdict verdict)
{
    if (isFinding(verdict)) {
        return Tone::Evidence;
    }
    return verdict == Verdict::NoEvidence ? Tone::Accent : Tone::Secondary;
}

Rgb toneColour(Tone tone)
{
    switch (tone) {
    case Tone::Primary: return {0xDE, 0xE7, 0xF1};
    case Tone::Secondary: return {0x94, 0xA4, 0xB8};
    case Tone::Accent: return {0x5D, 0xE0, 0xBB};
    case Tone::Evidence: return {0xFF, 0xC5, 0x70};
    case Tone::Error: return {0xFF, 0x8C, 0x82};
    }
    return {0xDE, 0xE7, 0xF1};
}

std::ostream& operator<<(std::ostream& out, Verdict verdict)
{
    const std::string_view text = verdictText(verdict);
    return out << (text.empty() ? std::string_view("(none)") : text);
}

} // namespace orvel
