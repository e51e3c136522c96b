// SPDX-License-Identifier: MIT
#include "picture/file_picture.h"

#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "analysis/conclusion.h"
#include "analysis/spectrogram.h"
#include "batch/input_selection.h"
#include "decode/cancellation.h"
#include "report/picture_names.h"
#include "text/utf8.h"

namespace orvel {

namespace fs = std::filesystem;

PictureLabels pictureLabels(const FileReport& record)
{
    PictureLabels labels;
    labels.fileName = pathBytes(record.file.filename());
    const Conclusion conclusion = concludeFile(record);
    labels.conclusion = conclusionText(conclusion);
    // The verdict words' colours: findings red or amber, a clean file green.
    switch (conclusion.level) {
    case ConclusionLevel::Likely:
    case ConclusionLevel::LossyInput: labels.conclusionColour = 0xC0392B; break;
    case ConclusionLevel::Possible: labels.conclusionColour = 0xB9770E; break;
    case ConclusionLevel::None: labels.conclusionColour = 0x1E8449; break;
    case ConclusionLevel::Inconclusive:
    case ConclusionLevel::Failed: labels.conclusionColour = 0x303030; break;
    }
    labels.codec = record.codec;
    labels.sampleRate = record.sampleRate;
    labels.bits = record.storedBits;
    for (const ReportCheck& check : kReportChecks) {
        labels.verdicts.push_back({std::string(check.name), std::string(verdictText((record.*(check.check)).status))});
    }
    if (record.originFacts.cutoffKhz) {
        labels.cutoffHz = *record.originFacts.cutoffKhz * 1000.0;
        // The same colour as the window's spectrum gives the edge, so both views read alike.
        const Rgb colour =
            toneColour(verdictTone(record.origin.status) == Tone::Evidence ? Tone::Evidence : Tone::Secondary);
        labels.cutoffColour = (std::uint32_t{colour.red} << 16) | (std::uint32_t{colour.green} << 8) | colour.blue;
    }
    return labels;
}

FilePicture makeFilePicture(const DecodedAudio& audio, const FileReport& record, PictureSize size,
                            const AnalysisOptions& analysis, const std::atomic<bool>& stopRequested)
{
    SpectrogramOptions options;
    options.columns = static_cast<std::size_t>(plotArea(size).width);
    options.analysis = analysis;
    FilePicture picture;
    picture.spectrogram = computeSpectrogram(audio, options, stopRequested);
    throwIfStopRequested(stopRequested);
    picture.image = renderSpectrogramImage(picture.spectrogram, pictureLabels(record), size);
    return picture;
}

std::vector<unsigned char> filePicturePng(const DecodedAudio& audio, const FileReport& record, PictureSize size,
                                          const AnalysisOptions& analysis, const std::atomic<bool>& stopRequested)
{
    return encodePng(makeFilePicture(audio, record, size, analysis, stopRequested).image);
}

namespace {

PictureNames countedNames(const std::vector<BatchInput>& inputs)
{
    PictureNames names;
    for (const BatchInput& input : inputs) {
        names.count(input.shown);
    }
    return names;
}

void notePictureFailure(FileReport& record, const std::exception& failure)
{
    record.pictureError = sanitizeUtf8(failure.what());
    if (record.pictureError.empty()) {
        record.pictureError = "The picture could not be made.";
    }
}

} // namespace

void addThumbnail(const DecodedAudio& audio, FileReport& record, const AnalysisOptions& analysis,
                  const std::atomic<bool>& stopRequested)
{
    try {
        record.thumbnailPng = filePicturePng(audio, record, kThumbnailSize, analysis, stopRequested);
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& failure) {
        notePictureFailure(record, failure);
    }
}

BatchPictures::BatchPictures(fs::path folder, PictureSize size, const std::vector<BatchInput>& inputs,
                             const std::atomic<bool>& stopRequested)
    : BatchPictures(std::move(folder), size, inputs, countedNames(inputs), stopRequested)
{
}

BatchPictures::BatchPictures(fs::path folder, PictureSize size, const std::vector<BatchInput>& inputs,
                             PictureNames wholeRun, const std::atomic<bool>& stopRequested)
    : BatchPictures(std::move(folder), size, inputs.size(), [&inputs](std::size_t index) { return inputs[index]; },
                    std::move(wholeRun), stopRequested)
{
}

BatchPictures::BatchPictures(fs::path folder, PictureSize size, std::size_t count, const InputAt& inputAt,
                             PictureNames wholeRun, const std::atomic<bool>& stopRequested)
    : m_folder(std::move(folder)), m_size(size), m_stop(stopRequested)
{
    std::error_code made;
    fs::create_directories(m_folder, made);
    std::error_code checked;
    if (!fs::is_directory(m_folder, checked)) {
        const std::error_code& reason = made ? made : checked;
        const bool isFile = fs::exists(m_folder, checked);
        throw std::runtime_error("cannot make the picture folder " + displayName(m_folder) + ": " +
                                 (isFile              ? std::string("it is not a folder")
                                  : reason            ? reason.message()
                                                      : std::string("it does not appear")));
    }
    m_names.reserve(count);
    std::vector<fs::path> paths;
    paths.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        BatchInput input = inputAt(index);
        // The shard's hash of the same path, so every machine names a file alike.
        m_names.push_back(wholeRun.nameFor(input.shown, stableHash(pathBytes(input.shown))));
        paths.push_back(std::move(input.path));
    }
    m_guard.protect(paths);
}

void BatchPictures::write(std::size_t index, const DecodedAudio& audio, FileReport& record,
                          const AnalysisOptions& analysis) const
{
    try {
        const fs::path target = m_folder / m_names[index];
        if (std::string refused = m_guard.refused(target, OutputKind::Picture); !refused.empty()) {
            record.pictureError = std::move(refused);
            return;
        }
        const std::vector<unsigned char> png = filePicturePng(audio, record, m_size, analysis, m_stop);
        // A file stopped before its picture is in place leaves nothing behind.
        throwIfStopRequested(m_stop);
        writePictureFile(target, png);
        record.pictureName = m_names[index];
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& failure) {
        notePictureFailure(record, failure);
    }
}

} // namespace orvel
