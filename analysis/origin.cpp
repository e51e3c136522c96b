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
#include "analysis/side_by_side.h"
#include "analysis/signal_level.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

constexpr double kMinimumSeconds = 2.0;
constexpr double kMinimumRms = 1e-7;

// Fixed-point text in every locale.
std::string fixed(double value, int decimals)
{
    std::array<char, 64> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string percent(double share)
{
    return fixed(share * 100.0, 1) + "%";
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

OriginInput originInput(const DecodedAudio& audio, std::span<const double> powerSpectrum, bool aacSinFound)
{
    OriginInput input;
    for (const std::vector<double>& c : audio.channels) {
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

std::string_view traceCodec(std::string_view trace)
{
    // Every grid trace checkOrigin names, with the codec it belongs to.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kGridCodecs{{
        {"mp3-grid", "MP3"},
        {"aac-kbd-grid", "AAC"},
        {"aac-sin-grid", "AAC"},
    }};
    for (const auto& [name, codec] : kGridCodecs) {
        if (name == trace) {
            return codec;
        }
    }
    return {};
}

OriginFacts originFacts(const OriginMeasurements& m)
{
    OriginFacts facts;
    facts.cutoffKhz = m.lowpassKhz;
    facts.likelySource = m.lowpassResembles;
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
    add("lower_rate_source_hz", m.lowerRateSourceHz);
    add("lower_rate_edge_khz", m.lowerRateEdgeKhz);
    add("lower_rate_drop_db", m.lowerRateDropDb);
    add("lower_rate_steepness_db_per_khz", m.lowerRateSteepness);
    add("sample_grid_bits", m.sampleGridBits);
    return facts;
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
    const std::span<const double> left = input.channels[0];
    const std::span<const double> right = input.channels.size() >= 2 ? input.channels[1] : std::span<const double>{};
    const double leftRms = signalRms(left);
    const double rightRms = signalRms(right);
    if (std::max(leftRms, rightRms) < kMinimumRms) {
        result.status = Verdict::Inconclusive;
        result.summary = "Signal level too low";
        result.evidence = std::string("The first two channels are silent or nearly so. ") + kOriginCaveat;
        return result;
    }

    OriginMeasurements& m = result.m;
    const std::int32_t gridBits = sampleGridBits(input);
    m.sampleGridBits = gridBits;
    const double gridLsb = gridBits > 0 ? std::ldexp(1.0, 1 - gridBits) : 0.0;
    const double storedLsb =
        input.integerSamples && input.bitsPerSample >= 2 ? std::ldexp(1.0, 1 - static_cast<int>(input.bitsPerSample))
                                                         : std::ldexp(1.0, -23);
    const std::int32_t bandLimit = aacSinBandLimit(input.powerSpectrum);

    // Spectral traces first: they are cheap and measured on every file.
    if (progress) {
        progress("Lowpass edge");
    }
    const LongTermSpectrum lts = longTermSpectrum(left, right, input.sampleRate, stop);
    const EdgeMeasurement edge = lossyLowpassEdge(lts, input.sampleRate, storedLsb);
    const EdgeVerdict edgeVerdict = judgeEdge(edge, seconds);
    if (edge.found) {
        m.lowpassKhz = std::round(edge.edgeHz / 100.0) / 10.0;
        m.lowpassSteepness = edge.steepness;
        m.lowpassAboveShare = edge.aboveShare;
        m.lowpassFloorOverNoiseDb = edge.floorOverNoise;
        m.lowpassActiveFrames = edge.activeFrames;
        m.lowpassResembles = lowpassResemblance(edge.edgeHz);
    }
    const LowerRateMeasurement lower = measureLowerRate(lts, input.sampleRate);
    if (lower.found) {
        m.lowerRateSourceHz = lower.sourceRate;
        m.lowerRateEdgeKhz = std::round(lower.edgeHz / 100.0) / 10.0;
        m.lowerRateDropDb = lower.dropDb;
        m.lowerRateSteepness = lower.steepness;
    }

    // The two grid searches. With a second analysis thread the AAC search
    // runs beside the MP3 one (without progress texts, which belong to the
    // calling thread); alone it runs only when no MP3 grid was found. Its
    // result is dropped when one was, so the report is the same either way.
    Mp3GridMeasurement mp3;
    const std::int32_t rate = input.sampleRate;
    // Layer III rates: MPEG-1 (32, 44.1, 48 kHz) and MPEG-2 (16, 22.05, 24 kHz),
    // both with 576-sample granules.
    const bool mp3Rate =
        rate == 16000 || rate == 22050 || rate == 24000 || rate == 32000 || rate == 44100 || rate == 48000;
    auto searchMp3 = [&] {
        if (mp3Rate) {
            const double rms = right.empty() ? leftRms : std::sqrt((leftRms * leftRms + rightRms * rightRms) / 2.0);
            const Mp3GridInput grid{left, right, gridLsb > 0.0 ? gridLsb : std::ldexp(1.0, -23), bandLimit, rms};
            mp3 = searchMp3Grid(grid, stop, progress);
        }
    };
    AacKbdInput kbd;
    kbd.channels.push_back(left);
    if (!right.empty()) {
        kbd.channels.push_back(right);
    }
    kbd.lsb = gridLsb;
    kbd.bandLimit = bandLimit;
    kbd.levels = right.empty() ? std::vector<double>{leftRms} : std::vector<double>{leftRms, rightRms};
    AacKbdMeasurement aac;
    if (input.options.threadCount() >= 2) {
        // A verified MP3 grid decides the verdict: the AAC search beside it
        // stops at its next milestone, its result dropped as below.
        std::atomic<bool> mp3Decided{false};
        kbd.abandoned = &mp3Decided;
        runSideBySide(
            true,
            [&] {
                searchMp3();
                if (mp3.granules > 0 && mp3GridFound(mp3)) {
                    mp3Decided.store(true);
                }
            },
            [&] { aac = searchAacKbdGrid(kbd, stop, {}); });
    } else {
        searchMp3();
        if (!(mp3.granules > 0 && mp3GridFound(mp3))) {
            aac = searchAacKbdGrid(kbd, stop, progress);
        }
    }
    const bool mp3Measured = mp3.granules > 0;
    const bool mp3Found = mp3Measured && mp3GridFound(mp3);
    if (mp3Found) {
        aac = AacKbdMeasurement{};
    }
    if (mp3Measured) {
        m.mp3NearZero = mp3.verified;
        m.mp3Baseline = mp3.baseline;
        m.mp3Spread = mp3.spread;
        m.mp3SamePhase = mp3.samePhase;
        m.mp3Z = mp3.z();
        m.mp3Offset = mp3.offset;
    }
    if (aac.measured) {
        m.aacKbdNearZero = aac.verified;
        m.aacKbdBaseline = aac.baseline;
        m.aacKbdOffset = aac.offset;
        m.aacKbdChannel = aac.channel;
    }
    throwIfStopRequested(stop);

    std::vector<std::string> lines;
    if (mp3Found) {
        result.status = Verdict::EvidenceFound;
        result.summary = "MP3 frame grid";
        m.trace = "mp3-grid";
    } else if (aacKbdFound(aac)) {
        result.status = Verdict::EvidenceFound;
        result.summary = "AAC frame grid (KBD window)";
        m.trace = "aac-kbd-grid";
    } else if (input.aacSinFound) {
        result.status = Verdict::EvidenceFound;
        result.summary = "AAC frame grid (sine window)";
        m.trace = "aac-sin-grid";
        lines.push_back("AAC frame grid (sine window): found by the AAC-SIN check.");
    } else if (edgeVerdict == EdgeVerdict::Likely) {
        result.status = Verdict::Possible;
        result.summary = "Lowpass at " + khz(edge.edgeHz) +
                         (m.lowpassResembles.empty() ? ", like a lossy encoder" : ", " + m.lowpassResembles);
        m.trace = "lowpass";
    } else if (lower.found) {
        result.status = Verdict::Possible;
        result.summary = "Resampled from " + rateText(lower.sourceRate);
        m.trace = "lower-rate";
    } else if (edgeVerdict == EdgeVerdict::Possible) {
        result.status = Verdict::Possible;
        result.summary = "Lowpass at " + khz(edge.edgeHz) +
                         (m.lowpassResembles.empty() ? "" : ", " + m.lowpassResembles);
        m.trace = "lowpass";
    } else if (edgeVerdict == EdgeVerdict::Inconclusive) {
        result.status = Verdict::Inconclusive;
        result.summary = "Content ends at " + khz(edge.edgeHz) + ", too little near it to judge";
    } else {
        result.status = Verdict::NoEvidence;
        result.summary = "No codec or resampler trace";
    }

    if (mp3Measured) {
        lines.push_back(mp3Line(m, mp3));
    } else {
        lines.push_back("MP3 frame grid: not searched at " + rateText(rate) + ".");
    }
    if (aac.measured) {
        lines.push_back(aacLine(m));
    }
    if (edge.found) {
        lines.push_back(lowpassLine(m));
    } else {
        lines.push_back("Lowpass edge: none below " + exactKhz(edge.nyquistHz) + ".");
    }
    if (lower.found) {
        lines.push_back(lowerRateLine(m, lower.imaging));
    }
    for (const std::string& line : lines) {
        result.evidence += line + "\r\n";
    }
    result.evidence += kOriginCaveat;
    return result;
}

} // namespace orvel
