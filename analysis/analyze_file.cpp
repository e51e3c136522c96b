// SPDX-License-Identifier: MIT
#include "analysis/analyze_file.h"

#include <stdexcept>
#include <utility>

#include "analysis/aac_sin.h"
#include "analysis/analysis_settings.h"
#include "analysis/averaged_spectrum.h"
#include "analysis/bandwidth_boundary.h"
#include "analysis/sample_precision.h"
#include "analysis/side_by_side.h"
#include "analysis/spectrum_db.h"
#include "decode/cancellation.h"
#include "decode/decode_audio.h"

namespace orvel {

namespace {

void report(const ProgressCallback& progress, const wchar_t* stage)
{
    if (progress) {
        progress(stage);
    }
}

// The per-bin maximum of the first two channels' spectra. With a second core
// the second channel's spectrum is computed on a helper thread while this
// thread does the first; each is the same function of its own samples, so
// the result does not depend on it. A stop or a failure on either side
// leaves after both are done.
std::vector<double> combinedSpectrum(const DecodedAudio& audio, const std::atomic<bool>& stopRequested)
{
    std::vector<double> first;
    if (audio.channels.size() < 2) {
        first = averagedPowerSpectrum(audio.channels[0], stopRequested);
        return first;
    }
    std::vector<double> second;
    runSideBySide(
        analysisThreads() >= 2, [&] { first = averagedPowerSpectrum(audio.channels[0], stopRequested); },
        [&] { second = averagedPowerSpectrum(audio.channels[1], stopRequested); });
    keepLouderBins(first, second);
    return first;
}

} // namespace

FileReport analyzeFile(const std::wstring& path, const std::atomic<bool>& stopRequested,
                       const ProgressCallback& progress)
{
    throwIfStopRequested(stopRequested);
    report(progress, L"Decoding audio");
    const DecodedAudio audio = decodeAudio(path, stopRequested);
    // decodeAudio promises at least one sample; never index an empty record.
    if (audio.channels.empty() || audio.channels.front().empty() || audio.sampleRate <= 0) {
        throw std::runtime_error("The audio stream contains no samples.");
    }

    FileReport result;
    result.file = path;
    result.codec = audio.codec;
    result.sampleRate = audio.sampleRate;
    result.storedBits = static_cast<std::int32_t>(audio.bitsPerSample);
    result.channelCount = static_cast<std::int32_t>(audio.channels.size());
    result.duration = audio.durationSeconds;
    result.analyzedSeconds =
        static_cast<double>(audio.channels.front().size()) / static_cast<double>(audio.sampleRate);

    report(progress, L"Measuring sample precision");
    result.upscaling = checkSamplePrecision(audio, stopRequested);

    report(progress, L"Measuring frequency content");
    const std::vector<double> powerSpectrum = combinedSpectrum(audio, stopRequested);
    SpectrumLevels levels = spectrumLevels(powerSpectrum);
    result.spectrumDb = std::move(levels.spectrumDb);

    result.upsampling = checkBandwidthBoundary(audio, powerSpectrum, levels.strongBinCount);
    throwIfStopRequested(stopRequested);
    result.aacSin = checkAacSin(audio, powerSpectrum, levels.strongBinCount, stopRequested, progress);
    return result;
}

} // namespace orvel
