// SPDX-License-Identifier: MIT
#include "analysis/conclusion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "analysis/origin.h"
#include "text/format_number.h"

namespace orvel {
namespace {

std::optional<double> measured(const std::vector<Measurement>& measurements, std::string_view key)
{
    for (const Measurement& m : measurements) {
        if (m.key == key) {
            return m.value;
        }
    }
    return std::nullopt;
}

std::optional<double> originNumber(const OriginFacts& facts, std::string_view key)
{
    for (const auto& [name, value] : facts.numbers) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}

// "44.1", "48", "22.05": kHz without trailing zeros.
std::string rateKhz(std::int32_t hz)
{
    std::string text = formatNumber(hz / 1000.0, 3);
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

// The first phrase of a line starts with a capital.
std::string_view word(std::string_view lower, bool first)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kCapitals{{
        {"likely ", "Likely "},
        {"possible ", "Possible "},
        {"possibly ", "Possibly "},
        {"padded ", "Padded "},
        {"resampled ", "Resampled "},
    }};
    for (const auto& [small, capital] : kCapitals) {
        if (first && small == lower) {
            return capital;
        }
    }
    return lower;
}

std::string lossyPhrase(const ConclusionTrace& trace, bool first)
{
    std::string text(word(trace.likely ? "likely " : "possible ", first));
    text += trace.codec.empty() ? std::string("lossy") : trace.codec;
    text += " source";
    if (trace.lowpassKhz) {
        text += " (lowpass at " + formatNumber(*trace.lowpassKhz, 1) + " kHz";
        if (!trace.resembles.empty()) {
            text += ", " + trace.resembles;
        }
        text += ')';
    }
    return text;
}

std::string tracePhrase(const ConclusionTrace& trace, bool first)
{
    switch (trace.kind) {
    case TraceKind::LossySource: return lossyPhrase(trace, first);
    case TraceKind::Padded:
        return std::string(trace.likely ? word("padded ", first) : word("possibly ", first)) +
               (trace.likely ? "" : "padded ") +
               (trace.bits > 0 ? "from " + std::to_string(trace.bits) + "-bit" : std::string("from fewer bits"));
    case TraceKind::Resampled:
        return std::string(trace.likely ? word("resampled ", first) : word("possibly ", first)) +
               (trace.likely ? "" : "resampled ") + "from " + rateKhz(trace.rateHz) + " kHz";
    }
    return {};
}

// Why: what the check saw, one sentence per trace.
std::string traceReason(const ConclusionTrace& trace)
{
    switch (trace.kind) {
    case TraceKind::LossySource:
        if (trace.lowpassKhz) {
            std::string text = "The sound stops sharply at " + formatNumber(*trace.lowpassKhz, 1) +
                               " kHz, where lossy encoders cut it";
            return text + (trace.resembles.empty() ? "." : " (" + trace.resembles + ").");
        }
        if (trace.likely) {
            return "The audio still carries the frame grid that " +
                   (trace.codec.empty() ? std::string("a lossy encoder") : trace.codec + " encoding") + " leaves.";
        }
        return "A frame grid like " + (trace.codec.empty() ? std::string("a lossy encoder") : trace.codec + " encoding") +
               " leaves may be in the audio.";
    case TraceKind::Padded:
        return "Every sample lies on a " + (trace.bits > 0 ? std::to_string(trace.bits) + "-bit" : std::string("coarser")) +
               " grid: the lowest stored bits are never used.";
    case TraceKind::Resampled:
        return "The spectrum drops steeply at the upper edge of a " + rateKhz(trace.rateHz) + " kHz recording.";
    }
    return {};
}

// What it means, for the strongest trace.
std::string traceMeaning(const ConclusionTrace& trace)
{
    switch (trace.kind) {
    case TraceKind::LossySource:
        if (trace.likely) {
            return "The file is stored losslessly, but its sound most likely went through " +
                   (trace.codec.empty() ? std::string("lossy") : trace.codec) +
                   " encoding before, so it is not a lossless original.";
        }
        return "Filtering or naturally quiet highs can look the same, so this is a clue to compare with another "
               "copy, not a finding.";
    case TraceKind::Padded:
        return "The extra bits carry no sound: the file holds no more detail than its " +
               (trace.bits > 0 ? std::to_string(trace.bits) + "-bit " : std::string()) + "source.";
    case TraceKind::Resampled:
        return "The file may have been converted up from that rate; filtering or naturally limited bandwidth can "
               "look alike.";
    }
    return {};
}

ConclusionTrace makeTrace(TraceKind kind, bool likely)
{
    ConclusionTrace trace;
    trace.kind = kind;
    trace.likely = likely;
    return trace;
}

int traceOrder(const ConclusionTrace& trace) { return (trace.likely ? 0 : 3) + static_cast<int>(trace.kind); }

} // namespace

Conclusion concludeFile(const FileReport& record)
{
    Conclusion conclusion;
    if (!record.error.empty()) {
        conclusion.level = ConclusionLevel::Failed;
        conclusion.reason = record.error;
        return conclusion;
    }
    // ORIGIN says "Not applicable" to a lossy codec's file and to nothing else.
    if (record.origin.status == Verdict::NotApplicable) {
        conclusion.level = ConclusionLevel::LossyInput;
        conclusion.lossyCodec = record.codec;
        return conclusion;
    }

    const OriginFacts& facts = record.originFacts;
    if (isFinding(record.origin.status) && facts.trace != "lower-rate") {
        ConclusionTrace trace = makeTrace(TraceKind::LossySource, record.origin.status == Verdict::EvidenceFound);
        trace.codec = std::string(traceCodec(facts.trace));
        if (facts.trace == "lowpass") {
            trace.lowpassKhz = facts.cutoffKhz;
            trace.resembles = facts.likelySource;
        }
        conclusion.traces.push_back(std::move(trace));
    } else if (record.aacSin.status == Verdict::Possible) {
        ConclusionTrace trace = makeTrace(TraceKind::LossySource, false);
        trace.codec = "AAC";
        conclusion.traces.push_back(std::move(trace));
    }
    if (record.upscaling.status == Verdict::EvidenceFound || record.upscaling.status == Verdict::Possible) {
        const std::optional<double> bits = measured(record.upscaling.measurements, "max_grid_bits");
        ConclusionTrace trace = makeTrace(TraceKind::Padded, record.upscaling.status == Verdict::EvidenceFound);
        trace.bits = bits ? static_cast<std::int32_t>(*bits) : 0;
        conclusion.traces.push_back(std::move(trace));
    }
    std::optional<double> sourceRate;
    bool rateLikely = false;
    if (isFinding(record.origin.status) && facts.trace == "lower-rate") {
        sourceRate = originNumber(facts, "lower_rate_source_hz");
        rateLikely = record.origin.status == Verdict::EvidenceFound;
    }
    if (!sourceRate && isFinding(record.upsampling.status)) {
        sourceRate = measured(record.upsampling.measurements, "strongest_drop_source_rate_hz");
        rateLikely = record.upsampling.status == Verdict::EvidenceFound;
    }
    if (sourceRate && *sourceRate > 0.0) {
        ConclusionTrace trace = makeTrace(TraceKind::Resampled, rateLikely);
        trace.rateHz = static_cast<std::int32_t>(std::lround(*sourceRate));
        conclusion.traces.push_back(std::move(trace));
    }
    std::stable_sort(conclusion.traces.begin(), conclusion.traces.end(),
                     [](const ConclusionTrace& a, const ConclusionTrace& b) { return traceOrder(a) < traceOrder(b); });

    if (!conclusion.traces.empty()) {
        conclusion.level = conclusion.traces.front().likely ? ConclusionLevel::Likely : ConclusionLevel::Possible;
    } else if (record.origin.status == Verdict::Inconclusive || record.origin.status == Verdict::None) {
        conclusion.level = ConclusionLevel::Inconclusive;
    }
    return conclusion;
}

std::string conclusionText(const Conclusion& conclusion)
{
    switch (conclusion.level) {
    case ConclusionLevel::Failed: return "Not analyzed: " + conclusion.reason;
    case ConclusionLevel::LossyInput:
        return conclusion.lossyCodec.empty() ? std::string("Lossy file") : "Lossy file (" + conclusion.lossyCodec + ")";
    case ConclusionLevel::Inconclusive: return "Too little content to judge";
    case ConclusionLevel::None: return "No trace found";
    case ConclusionLevel::Possible:
    case ConclusionLevel::Likely: break;
    }
    std::string text;
    for (const ConclusionTrace& trace : conclusion.traces) {
        text += text.empty() ? "" : ", ";
        text += tracePhrase(trace, text.empty());
    }
    return text;
}

std::string_view conclusionLevelName(ConclusionLevel level)
{
    switch (level) {
    case ConclusionLevel::None: return "none";
    case ConclusionLevel::Possible: return "possible";
    case ConclusionLevel::Likely: return "likely";
    case ConclusionLevel::LossyInput: return "lossy-input";
    case ConclusionLevel::Inconclusive: return "inconclusive";
    case ConclusionLevel::Failed: return "failed";
    }
    return {};
}

std::string conclusionExplanation(const Conclusion& conclusion)
{
    switch (conclusion.level) {
    case ConclusionLevel::Failed: return "The file could not be analyzed, so nothing was measured in it.";
    case ConclusionLevel::LossyInput:
        return "The file itself is in a lossy format" +
               (conclusion.lossyCodec.empty() ? std::string() : " (" + conclusion.lossyCodec + ")") +
               ", so it is not lossless whatever its source. The traces the checks look for in lossless files do "
               "not apply to it.";
    case ConclusionLevel::Inconclusive:
        return "The audio is too short, too quiet or too narrow in frequency for the checks to judge. No finding "
               "is made either way.";
    case ConclusionLevel::None:
        return "None of the checks found a trace of a lossy codec, of padding or of resampling. That is not proof "
               "of a lossless origin: other encoders and later processing can evade them.";
    case ConclusionLevel::Possible:
    case ConclusionLevel::Likely: break;
    }
    std::string text;
    for (const ConclusionTrace& trace : conclusion.traces) {
        text += traceReason(trace) + " ";
    }
    return text + traceMeaning(conclusion.traces.front());
}

Tone conclusionTone(ConclusionLevel level)
{
    switch (level) {
    case ConclusionLevel::None: return Tone::Accent;
    case ConclusionLevel::Possible:
    case ConclusionLevel::Likely:
    case ConclusionLevel::LossyInput: return Tone::Evidence;
    case ConclusionLevel::Inconclusive: return Tone::Secondary;
    case ConclusionLevel::Failed: return Tone::Error;
    }
    return Tone::Secondary;
}

void ConclusionCounts::add(const Conclusion& conclusion)
{
    ++m_files;
    int order = 0;
    std::string label;
    std::string detail;
    switch (conclusion.level) {
    case ConclusionLevel::None: label = "no trace"; break;
    case ConclusionLevel::Possible:
    case ConclusionLevel::Likely: {
        const ConclusionTrace& first = conclusion.traces.front();
        switch (first.kind) {
        case TraceKind::LossySource:
            order = first.likely ? 1 : 3;
            label = first.likely ? "likely lossy" : "possibly lossy";
            detail = first.codec;
            break;
        case TraceKind::Padded:
            order = 2;
            label = tracePhrase(first, false);
            break;
        case TraceKind::Resampled:
            order = 4;
            label = tracePhrase(first, false);
            break;
        }
        break;
    }
    case ConclusionLevel::LossyInput:
        order = 5;
        label = "lossy file";
        detail = conclusion.lossyCodec;
        break;
    case ConclusionLevel::Inconclusive:
        order = 6;
        label = "too little content";
        break;
    case ConclusionLevel::Failed:
        order = 7;
        label = "not analyzed";
        break;
    }
    auto kind = std::find_if(m_kinds.begin(), m_kinds.end(),
                             [&](const Kind& k) { return k.order == order && k.label == label; });
    if (kind == m_kinds.end()) {
        // Kept in the fixed order of kinds, each label where it was first seen.
        const auto before = std::find_if(m_kinds.begin(), m_kinds.end(), [&](const Kind& k) { return k.order > order; });
        kind = m_kinds.insert(before, Kind{order, label, 0, {}});
    }
    ++kind->count;
    if (!detail.empty()) {
        auto found = std::find_if(kind->details.begin(), kind->details.end(),
                                  [&](const auto& d) { return d.first == detail; });
        if (found == kind->details.end()) {
            kind->details.emplace_back(detail, 0);
            found = kind->details.end() - 1;
        }
        ++found->second;
    }
}

std::vector<std::string> ConclusionCounts::kinds() const
{
    std::vector<std::string> texts;
    for (const Kind& kind : m_kinds) {
        std::string text = std::to_string(kind.count) + " " + kind.label;
        if (kind.order == 5 && kind.count != 1) {
            text += 's';
        }
        if (!kind.details.empty()) {
            auto details = kind.details;
            std::stable_sort(details.begin(), details.end(),
                             [](const auto& a, const auto& b) { return a.second > b.second; });
            text += " (";
            for (std::size_t i = 0; i < details.size(); ++i) {
                text += i > 0 ? ", " : "";
                text += std::to_string(details[i].second) + " " + details[i].first;
            }
            text += ')';
        }
        texts.push_back(std::move(text));
    }
    return texts;
}

std::string ConclusionCounts::line() const
{
    std::string text = fileCountText(m_files);
    const std::vector<std::string> texts = kinds();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        text += i == 0 ? ": " : " \u00B7 ";
        text += texts[i];
    }
    return text;
}

std::string fileCountText(std::size_t files) { return std::to_string(files) + (files == 1 ? " file" : " files"); }

} // namespace orvel
