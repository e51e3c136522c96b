// SPDX-License-Identifier: MIT
#include "analysis/origin.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "analysis/aac_kbd_grid.h"
#include "analysis/aac_sin.h"
#include "analysis/analysis_options.h"
#include "analysis/lower_rate.h"
#include "analysis/lowpass_edge.h"
#include "analysis/mp3_grid.h"
#include "analysis/origin_trace.h"
#include "platform/side_by_side.h"
#include "analysis/signal_level.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr double kMinimumSeconds = 2.0;
constexpr double kMinimumRms = 1e-7;

std::string fixed(double value, int decimals)
{
    return originFixed(value, decimals);
}

std::string percent(double share)
{
    return originPercent(share);
}

std::string khz(double hz)
{
    return fixed(std::round(hz / 100.0) / 10.0, 1) + " kHz";
}

// A standard frequency in kHz with the decimals it needs: "44.1 kHz", "22.05 kHz", "48 kHz".
std::string exactKhz(double hz)
{
    std::string text = fixed(hz / 1000.0, 2);
    while (text.back() == '0') {
        text.pop_back();
    }
    if (text.back() == '.') {
        text.pop_back();
    }
    return text + " kHz";
}

std::string rateText(std::int32_t rate)
{
    return exactKhz(rate);
}

// Bits of the measured sample grid of the first two channels: B minus the low
// bits no sample uses (16 for 16-bit audio padded to 24 bits); 0 for floating
// point or unknown precision.
std::int32_t sampleGridBits(const OriginInput& input)
{
    const std::uint32_t bits = input.bitsPerSample;
    if (!input.integerSamples || bits < 2 || bits > 32) {
        return 0;
    }
    const double scale = std::ldexp(1.0, static_cast<int>(bits) - 1);
    std::uint64_t mask = 0;
    for (std::size_t c = 0; c < input.channels.size() && c < 2; ++c) {
        for (const double x : input.channels[c]) {
            mask |= static_cast<std::uint64_t>(std::llround(x * scale));
            // The lowest bit in use ends the scan: nothing can lower the grid further.
            if ((mask & 1u) != 0) {
                return static_cast<std::int32_t>(bits);
            }
        }
    }
    std::int32_t unused = 0;
    while (unused < static_cast<std::int32_t>(bits) - 1 && (mask & (std::uint64_t{1} << unused)) == 0) {
        ++unused;
    }
    return static_cast<std::int32_t>(bits) - unused;
}

std::string mp3Line(const OriginMeasurements& m, const Mp3GridMeasurement& g)
{
    return "MP3 frame grid: best offset " + std::to_string(*m.mp3Offset) + " / 576; near-zero lines " +
           percent(g.verified) + " against " + percent(g.baseline) + " on 7 control offsets (sd " +
           fixed(g.spread * 100.0, 2) + " points, z " + fixed(std::min(g.z(), 9999.0), 1) + "; " +
           percent(g.samePhase) + " on the same polyphase phase); lines 4\u2013" +
           std::to_string(g.lastLine - 1) + ", " + std::to_string(g.granules) + " granules.";
}

std::string aacLine(const OriginMeasurements& m)
{
    return "AAC frame grid (KBD window): channel " + std::to_string(*m.aacKbdChannel + 1) + ", best offset " +
           std::to_string(*m.aacKbdOffset) + " / 1024; near-zero coefficients " + percent(*m.aacKbdNearZero) +
           " against " + percent(*m.aacKbdBaseline) + " at 7 control offsets (24 frames each).";
}

std::string lowpassLine(const OriginMeasurements& m)
{
    return "Lowpass edge: " + khz(*m.lowpassKhz * 1000.0) + ", " + fixed(*m.lowpassSteepness, 0) + " dB/kHz; " +
           percent(*m.lowpassAboveShare) + " of " + std::to_string(*m.lowpassActiveFrames) +
           " active frames reach above it; band above " + fixed(*m.lowpassFloorOverNoiseDb, 1) +
           " dB over the stored word's rounding noise.";
}

std::string lowerRateLine(const OriginMeasurements& m, bool imaging)
{
    if (m.lowerRateMirrorCorrelation) {
        return "Lower-rate boundary: above the " + exactKhz(*m.lowerRateSourceHz / 2.0) + " Nyquist of " +
               rateText(*m.lowerRateSourceHz) + " lie a resampler's images of the content below it, " +
               fixed(*m.lowerRateDropDb, 1) + " dB down; frame by frame the spectrum 0.3\u2013"
               "2 kHz above that Nyquist "
               "mirrors the one below (correlation " +
               fixed(*m.lowerRateMirrorCorrelation, 2) + "), " + fixed(*m.lowerRateSteepness, 0) +
               " dB/kHz across it.";
    }
    if (imaging) {
        return "Lower-rate boundary: content below the " + exactKhz(*m.lowerRateSourceHz / 2.0) + " Nyquist of " +
               rateText(*m.lowerRateSourceHz) + " lies " + fixed(*m.lowerRateDropDb, 1) +
               " dB above the resampler's images beyond it, which end in a steep edge (" +
               fixed(*m.lowerRateSteepness, 0) + " dB/kHz).";
    }
    return "Lower-rate boundary: edge at " + khz(*m.lowerRateEdgeKhz * 1000.0) + " below the " +
           exactKhz(*m.lowerRateSourceHz / 2.0) + " Nyquist of " + rateText(*m.lowerRateSourceHz) + ", " +
           fixed(*m.lowerRateDropDb, 1) + " dB down to the floor, " + fixed(*m.lowerRateSteepness, 0) + " dB/kHz.";
}

} // namespace

std::string originFixed(double value, int decimals)
{
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string originPercent(double share)
{
    return originFixed(share * 100.0, 1) + "%";
}

OriginInput originInput(const DecodedAudio& audio, std::span<const double> powerSpectrum, bool aacSinFound)
{
    OriginInput input;
    for (const ChannelSamples& c : audio.channels) {
        input.channels.emplace_back(c);
    }
    input.sampleRate = audio.sampleRate;
    input.bitsPerSample = audio.bitsPerSample;
    input.integerSamples = audio.integerSamples;
    input.lossyCodec = audio.lossyCodec;
    for (const auto ch : audio.codec) {
        input.codec.push_back(static_cast<char>(ch)); // codec names are ASCII
    }
    input.powerSpectrum = powerSpectrum;
    input.aacSinFound = aacSinFound;
    return input;
}

OriginFacts originFacts(const OriginMeasurements& m)
{
    OriginFacts facts;
    facts.cutoffKhz = m.lowpassKhz;
    facts.likelySource = m.likelySource;
    facts.trace = m.trace;
    const auto add = [&facts](const char* name, const auto& value) {
        if (value) {
            facts.numbers.emplace_back(name, static_cast<double>(*value));
        }
    };
    add("lowpass_khz", m.lowpassKhz);
    add("lowpass_steepness_db_per_khz", m.lowpassSteepness);
    add("lowpass_above_share", m.lowpassAboveShare);
    add("lowpass_floor_over_noise_db", m.lowpassFloorOverNoiseDb);
    add("lowpass_active_frames", m.lowpassActiveFrames);
    add("mp3_near_zero", m.mp3NearZero);
    add("mp3_baseline", m.mp3Baseline);
    add("mp3_spread", m.mp3Spread);
    add("mp3_same_phase", m.mp3SamePhase);
    add("mp3_z", m.mp3Z);
    add("mp3_offset", m.mp3Offset);
    add("aac_kbd_near_zero", m.aacKbdNearZero);
    add("aac_kbd_baseline", m.aacKbdBaseline);
    add("aac_kbd_offset", m.aacKbdOffset);
    add("aac_kbd_channel", m.aacKbdChannel);
    for (const OriginMeasurements::CodecGrid& g : m.codecGrids) {
        facts.numbers.emplace_back(g.key + "_near_zero", g.nearZero);
        facts.numbers.emplace_back(g.key + "_baseline", g.baseline);
        facts.numbers.emplace_back(g.key + "_spread", g.spread);
        facts.numbers.emplace_back(g.key + "_z", g.z);
        facts.numbers.emplace_back(g.key + "_offset", g.offset);
    }
    add("lower_rate_source_hz", m.lowerRateSourceHz);
    add("lower_rate_edge_khz", m.lowerRateEdgeKhz);
    add("lower_rate_drop_db", m.lowerRateDropDb);
    add("lower_rate_steepness_db_per_khz", m.lowerRateSteepness);
    add("lower_rate_mirror_correlation", m.lowerRateMirrorCorrelation);
    add("sample_grid_bits", m.sampleGridBits);
    return facts;
}

namespace {

bool mp3Rate(std::int32_t rate)
{
    // Layer III rates: MPEG-1 (32, 44.1, 48 kHz) and MPEG-2 (16, 22.05, 24 kHz),
    // both with 576-sample granules.
    return rate == 16000 || rate == 22050 || rate == 24000 || rate == 32000 || rate == 44100 || rate == 48000;
}

Mp3GridInput mp3Input(const OriginContext& c)
{
    return {c.left, c.right, c.gridLsb > 0.0 ? c.gridLsb : std::ldexp(1.0, -23), c.bandLimit, c.rms};
}

AacKbdInput kbdInput(const OriginContext& c)
{
    AacKbdInput kbd;
    kbd.channels.push_back(c.left);
    if (!c.right.empty()) {
        kbd.channels.push_back(c.right);
    }
    kbd.lsb = c.gridLsb;
    kbd.bandLimit = c.bandLimit;
    kbd.levels = c.right.empty() ? std::vector<double>{c.leftRms} : std::vector<double>{c.leftRms, c.rightRms};
    return kbd;
}

bool mp3Decides(const OriginContext& c)
{
    return c.mp3.granules > 0 && mp3GridFound(c.mp3);
}

// The MP3 and KBD-window AAC searches on one thread: the AAC search only when
// no MP3 grid was found, since a verified MP3 grid decides the verdict.
void searchClassicGrids(OriginContext& c)
{
    if (c.classicGridsSearched) {
        return;
    }
    c.classicGridsSearched = true;
    if (mp3Rate(c.input.sampleRate)) {
        c.mp3 = searchMp3Grid(mp3Input(c), c.stop, c.progress);
    }
    if (!mp3Decides(c)) {
        c.aacKbd = searchAacKbdGrid(kbdInput(c), c.stop, c.progress);
    }
}

// With more than one analysis thread, the costly measurements run as tasks,
// the longest first: the MP3 search, the KBD-window AAC search beside it, the
// long-term spectrum and the codec grids. A verified MP3 grid decides the
// verdict: the AAC search stops at its next milestone and no codec grid
// starts, and what they measured is dropped as on one thread, so the report
// is the same either way. Progress texts come only from the calling thread.
void measureTogether(OriginContext& c, unsigned threads)
{
    c.classicGridsSearched = true;
    std::atomic<bool> mp3Decided{false};
    AacKbdInput kbd = kbdInput(c);
    kbd.abandoned = &mp3Decided;
    const std::function<void(const std::string&)> none;
    std::vector<std::function<void(bool)>> tasks;
    tasks.push_back([&](bool onCallingThread) {
        if (mp3Rate(c.input.sampleRate)) {
            c.mp3 = searchMp3Grid(mp3Input(c), c.stop, onCallingThread ? c.progress : none);
            if (mp3Decides(c)) {
                mp3Decided.store(true);
            }
        }
    });
    tasks.push_back([&](bool onCallingThread) {
        c.aacKbd = searchAacKbdGrid(kbd, c.stop, onCallingThread ? c.progress : none);
    });
    tasks.push_back([&](bool) { c.lts = longTermSpectrum(c.left, c.right, c.input.sampleRate, c.stop); });
    searchCodecGridsAhead(c, tasks, mp3Decided);
    runTasks(threads, tasks);
    if (mp3Decides(c)) {
        c.aacKbd = AacKbdMeasurement{};
    }
}

OriginFinding mp3Trace(OriginContext& c)
{
    searchClassicGrids(c);
    OriginFinding f;
    OriginMeasurements& m = c.m;
    if (c.mp3.granules == 0) {
        f.lines.push_back("MP3 frame grid: not searched at " + rateText(c.input.sampleRate) + ".");
        return f;
    }
    m.mp3NearZero = c.mp3.verified;
    m.mp3Baseline = c.mp3.baseline;
    m.mp3Spread = c.mp3.spread;
    m.mp3SamePhase = c.mp3.samePhase;
    m.mp3Z = c.mp3.z();
    m.mp3Offset = c.mp3.offset;
    f.lines.push_back(mp3Line(m, c.mp3));
    if (mp3GridFound(c.mp3)) {
        markGridFound(f, 10, "MP3 frame grid", "mp3-grid", "MP3");
        c.gridFound = true;
    }
    return f;
}

OriginFinding aacKbdTrace(OriginContext& c)
{
    searchClassicGrids(c);
    OriginFinding f;
    if (!c.aacKbd.measured) {
        return f;
    }
    OriginMeasurements& m = c.m;
    m.aacKbdNearZero = c.aacKbd.verified;
    m.aacKbdBaseline = c.aacKbd.baseline;
    m.aacKbdOffset = c.aacKbd.offset;
    m.aacKbdChannel = c.aacKbd.channel;
    f.lines.push_back(aacLine(m));
    if (aacKbdFound(c.aacKbd)) {
        markGridFound(f, 9, "AAC frame grid (KBD window)", "aac-kbd-grid", "AAC");
        c.gridFound = true;
    }
    return f;
}

OriginFinding aacSinTrace(OriginContext& c)
{
    OriginFinding f;
    if (c.input.aacSinFound) {
        markGridFound(f, 8, "AAC frame grid (sine window)", "aac-sin-grid", "AAC");
        f.leadLine = "AAC frame grid (sine window): found by the AAC-SIN check.";
        c.gridFound = true;
    }
    return f;
}

// A hard edge from 19.5 kHz up is what a steep mastering lowpass leaves too:
// it counts only beside a codec's grid, which then decides on its own.
constexpr double kBrickwallHz = 19500.0;

OriginFinding lowpassTrace(OriginContext& c)
{
    OriginFinding f;
    OriginMeasurements& m = c.m;
    const EdgeMeasurement edge = lossyLowpassEdge(c.lts, c.input.sampleRate, c.storedLsb);
    const EdgeVerdict verdict = judgeEdge(edge, c.seconds);
    if (!edge.found) {
        f.lines.push_back("Lowpass edge: none below " + exactKhz(edge.nyquistHz) + ".");
        return f;
    }
    m.lowpassKhz = std::round(edge.edgeHz / 100.0) / 10.0;
    m.lowpassSteepness = edge.steepness;
    m.lowpassAboveShare = edge.aboveShare;
    m.lowpassFloorOverNoiseDb = edge.floorOverNoise;
    m.lowpassActiveFrames = edge.activeFrames;
    m.lowpassResembles = lowpassResemblance(edge.edgeHz);
    std::string line = lowpassLine(m);
    f.trace = "lowpass";
    if (verdict == EdgeVerdict::Likely) {
        f.status = Verdict::Possible;
        f.rank = 3;
        f.summary = "Lowpass at " + khz(edge.edgeHz) +
                    (m.lowpassResembles.empty() ? ", like a lossy encoder" : ", " + m.lowpassResembles);
    } else if (verdict == EdgeVerdict::Possible && edge.edgeHz >= kBrickwallHz) {
        line += " A hard edge this high is also what a mastering lowpass leaves: alone, without a codec's frame "
                "grid, it is no evidence.";
        f.trace.clear();
    } else if (verdict == EdgeVerdict::Possible) {
        f.status = Verdict::Possible;
        f.rank = 1;
        f.summary = "Lowpass at " + khz(edge.edgeHz) + (m.lowpassResembles.empty() ? "" : ", " + m.lowpassResembles);
    } else if (verdict == EdgeVerdict::Inconclusive) {
        f.status = Verdict::Inconclusive;
        f.summary = "Content ends at " + khz(edge.edgeHz) + ", too little near it to judge";
        f.trace.clear();
    } else {
        f.trace.clear();
    }
    f.lines.push_back(line);
    return f;
}

OriginFinding lowerRateTrace(OriginContext& c)
{
    OriginFinding f;
    const LowerRateMeasurement lower = measureLowerRate(c.lts, c.input.sampleRate);
    if (!lower.found) {
        return f;
    }
    OriginMeasurements& m = c.m;
    m.lowerRateSourceHz = lower.sourceRate;
    m.lowerRateEdgeKhz = std::round(lower.edgeHz / 100.0) / 10.0;
    m.lowerRateDropDb = lower.dropDb;
    m.lowerRateSteepness = lower.steepness;
    if (lower.mirror) {
        m.lowerRateMirrorCorrelation = lower.mirrorCorrelation;
    }
    f.status = Verdict::Possible;
    f.rank = 2;
    f.summary = "Resampled from " + rateText(lower.sourceRate);
    f.trace = "lower-rate";
    f.lines.push_back(lowerRateLine(m, lower.imaging));
    return f;
}

constexpr std::array<OriginTrace, 3> kLeadingTraces{{
    {"mp3-grid", "MP3", mp3Trace},
    {"aac-kbd-grid", "AAC", aacKbdTrace},
    {"aac-sin-grid", "AAC", aacSinTrace},
}};

constexpr std::array<OriginTrace, 2> kSpectralTraces{{
    {"lowpass", "", lowpassTrace},
    {"lower-rate", "", lowerRateTrace},
}};

// The rule: the highest status, then rank, then excess; the first of equals.
bool decidesOver(const OriginFinding& a, const OriginFinding& b)
{
    const auto order = [](Verdict v) {
        switch (v) {
        case Verdict::EvidenceFound:
            return 3;
        case Verdict::Possible:
            return 2;
        case Verdict::Inconclusive:
            return 1;
        default:
            return 0;
        }
    };
    if (order(a.status) != order(b.status)) {
        return order(a.status) > order(b.status);
    }
    if (a.rank != b.rank) {
        return a.rank > b.rank;
    }
    return a.excess > b.excess;
}

} // namespace

std::string_view traceCodec(std::string_view trace)
{
    for (const std::span<const OriginTrace> table :
         {std::span<const OriginTrace>(kLeadingTraces), codecGridTraces()}) {
        for (const OriginTrace& row : table) {
            if (row.name == trace) {
                return row.codec;
            }
        }
    }
    return {};
}

OriginResult checkOrigin(const OriginInput& input, const std::atomic<bool>& stop,
                         const std::function<void(const std::string&)>& progress)
{
    OriginResult result;
    throwIfStopRequested(stop);
    if (input.lossyCodec) {
        result.status = Verdict::NotApplicable;
        result.summary = "Input is already a lossy codec";
        result.evidence = "Origin traces are looked for in lossless containers. Input codec: " + input.codec;
        return result;
    }
    const std::size_t length = input.channels.empty() ? 0 : input.channels.front().size();
    const double seconds = input.sampleRate > 0 ? static_cast<double>(length) / input.sampleRate : 0.0;
    if (!(seconds >= kMinimumSeconds)) {
        result.status = Verdict::Inconclusive;
        result.summary = "Clip is shorter than 2 seconds";
        result.evidence = std::string("Too little material for codec or resampler traces. ") + kOriginCaveat;
        return result;
    }
    OriginContext c{input, stop, progress, result.m, {}, {}, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 64, {}, false, false, {}, {}, {}, {}};
    c.left = input.channels[0];
    c.right = input.channels.size() >= 2 ? input.channels[1] : std::span<const double>{};
    c.leftRms = signalRms(c.left);
    c.rightRms = signalRms(c.right);
    if (std::max(c.leftRms, c.rightRms) < kMinimumRms) {
        result.status = Verdict::Inconclusive;
        result.summary = "Signal level too low";
        result.evidence = std::string("The first two channels are silent or nearly so. ") + kOriginCaveat;
        return result;
    }
    c.rms = c.right.empty() ? c.leftRms : std::sqrt((c.leftRms * c.leftRms + c.rightRms * c.rightRms) / 2.0);
    c.seconds = seconds;
    const std::int32_t gridBits = sampleGridBits(input);
    result.m.sampleGridBits = gridBits;
    c.gridLsb = gridBits > 0 ? std::ldexp(1.0, 1 - gridBits) : 0.0;
    c.storedLsb = input.integerSamples && input.bitsPerSample >= 2
                      ? std::ldexp(1.0, 1 - static_cast<int>(input.bitsPerSample))
                      : std::ldexp(1.0, -23);
    c.bandLimit = aacSinBandLimit(input.powerSpectrum);

    // The long-term spectrum first (it is cheap and measured on every file),
    // or with more threads everything costly at once.
    if (progress) {
        progress("Lowpass edge");
    }
    if (const unsigned threads = input.options.threadCount(); threads >= 2) {
        measureTogether(c, threads);
    } else {
        c.lts = longTermSpectrum(c.left, c.right, input.sampleRate, stop);
    }

    // Grids in the order of the evidence; the spectral traces after them.
    std::vector<OriginFinding> findings;
    for (const OriginTrace& trace : kLeadingTraces) {
        findings.push_back(trace.measure(c));
    }
    for (const OriginTrace& trace : codecGridTraces()) {
        findings.push_back(c.gridFound ? OriginFinding{} : trace.measure(c));
    }
    for (const OriginTrace& trace : kSpectralTraces) {
        findings.push_back(trace.measure(c));
    }
    throwIfStopRequested(stop);

    const OriginFinding* decisive = nullptr;
    for (const OriginFinding& f : findings) {
        if (f.status != Verdict::NoEvidence && (decisive == nullptr || decidesOver(f, *decisive))) {
            decisive = &f;
        }
    }
    std::vector<std::string> lines;
    if (decisive == nullptr) {
        result.status = Verdict::NoEvidence;
        result.summary = "No codec or resampler trace";
    } else {
        result.status = decisive->status;
        result.summary = decisive->summary;
        result.m.trace = decisive->trace;
        result.m.likelySource = decisive->codec;
        if (!decisive->leadLine.empty()) {
            lines.push_back(decisive->leadLine);
        }
    }
    if (result.m.likelySource.empty()) {
        result.m.likelySource = result.m.lowpassResembles;
    }
    for (const OriginFinding& f : findings) {
        lines.insert(lines.end(), f.lines.begin(), f.lines.end());
    }
    for (const std::string& line : lines) {
        result.evidence += line + "\r\n";
    }
    result.evidence += kOriginCaveat;
    return result;
}

} // namespace orvel
