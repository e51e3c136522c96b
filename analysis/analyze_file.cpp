// SPDX-License-Identifier: MIT
#include "analysis/analyze_file.h"

#include <stdexcept>
#include <utility>

#include "analysis/aac_sin.h"
#include "analysis/analysis_options.h"
#include "analysis/averaged_spectrum.h"
#include "analysis/bandwidth_boundary.h"
#include "analysis/origin.h"
#include "analysis/sample_precision.h"
#include "platform/side_by_side.h"
#include "analysis/spectrum_db.h"
#include "decode/cancellation.h"
#include "decode/decode_audio.h"

namespace orvel {

namespace {

void report(const ProgressCallback& progress, const char* stage)
{
    if (progress) {
        progress(stage);
    }
}

// The per-bin maximum of the first two channels' spectra, side by side with two threads.
std::vector<double> combinedSpectrum(const DecodedAudio& audio, const std::atomic<bool>& stopRequested,
                                     const AnalysisOptions& options)
{
    std::vector<double> spectrum;
    std::vector<double> second;
    const bool stereo = audio.channels.size() >= 2;
    runSideBySide(
        stereo && options.threadCount() >= 2,
        [&] { spectrum = averagedPowerSpectrum(audio.channels[0], stopRequested, options.transforms); },
        [&] {
            if (stereo) {
                second = averagedPowerSpectrum(audio.channels[1], stopRequested, options.transforms);
            }
        });
    if (stereo) {
        keepLouderBins(spectrum, second);
    }
    return spectrum;
}

} // namespace

FileReport analyzeFile(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                       const ProgressCallback& progress, const AnalysisOptions& options,
                       const DecodedAudioHook& withAudio)
{
    throwIfStopRequested(stopRequested);
    report(progress, "Decoding audio");
    const DecodedAudio audio = decodeAudio(
        path, stopRequested,
        options.givenDirectly ? UnknownExtension::RecogniseContent : UnknownExtension::Refuse, options.threadCount());
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

    report(progress, "Measuring sample precision");
    result.upscaling = checkSamplePrecision(audio, stopRequested);

    report(progress, "Measuring frequency content");
    const std::vector<double> powerSpectrum = combinedSpectrum(audio, stopRequested, options);
    SpectrumLevels levels = spectrumLevels(powerSpectrum);
    result.spectrumDb = std::move(levels.spectrumDb);

    result.upsampling = checkBandwidthBoundary(audio, powerSpectrum, levels.strongBinCount);
    throwIfStopRequested(stopRequested);
    result.aacSin = checkAacSin(audio, powerSpectrum, levels.strongBinCount, stopRequested, progress, options);

    throwIfStopRequested(stopRequested);
    if (options.origin) {
        OriginInput input = originInput(audio, powerSpectrum, result.aacSin.status == Verdict::Possible);
        input.options = options;
        const OriginResult origin = checkOrigin(input, stopRequested, progress);
        result.origin = {origin.status, origin.summary, origin.evidence};
        result.originFacts = originFacts(origin.m);
    }
    if (withAudio) {
        withAudio(audio, result);
    }
    return result;
}

} // namespace orvel
