// SPDX-License-Identifier: MIT
#include "picture/file_picture.h"

#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "analysis/spectrogram.h"
#include "decode/cancellation.h"
#include "report/picture_names.h"
#include "text/utf8.h"

namespace orvel {

namespace fs = std::filesystem;

PictureLabels pictureLabels(const FileReport& record)
{
    PictureLabels labels;
    labels.fileName = record.file.filename().native();
    labels.codec = record.codec;
    labels.sampleRate = record.sampleRate;
    labels.bits = record.storedBits;
    for (const ReportCheck& check : kReportChecks) {
        labels.verdicts.push_back({std::string(check.name), std::string(verdictText((record.*(check.check)).status))});
    }
    if (record.originFacts.cutoffKhz) {
        labels.cutoffHz = *record.originFacts.cutoffKhz * 1000.0;
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
    : m_folder(std::move(folder)), m_size(size), m_stop(stopRequested)
{
    std::error_code error;
    fs::create_directories(m_folder, error);
    if (!fs::is_directory(m_folder, error)) {
        throw std::runtime_error("cannot make the picture folder " + displayName(m_folder) +
                                 (fs::exists(m_folder, error) ? ": it is not a folder" : ""));
    }
    PictureNames names;
    m_names.reserve(inputs.size());
    for (const BatchInput& input : inputs) {
        m_names.push_back(names.nameFor(input.path));
    }
}

void BatchPictures::write(std::size_t index, const DecodedAudio& audio, FileReport& record,
                          const AnalysisOptions& analysis) const
{
    try {
        const std::vector<unsigned char> png = filePicturePng(audio, record, m_size, analysis, m_stop);
        // A file stopped before its picture is in place leaves nothing behind.
        throwIfStopRequested(m_stop);
        writePictureFile(m_folder / m_names[index], png);
        record.pictureName = m_names[index];
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& failure) {
        notePictureFailure(record, failure);
    }
}

} // namespace orvel
