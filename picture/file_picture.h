// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/file_report.h"
#include "batch/input_walker.h"
#include "batch/output_target.h"
#include "decode/decoded_audio.h"
#include "picture/spectrogram_picture.h"
#include "report/picture_names.h"

namespace orvel {

// The title line of an analysed file's picture: its file name (not the
// folder) and conclusion, codec, rate, bits and each check's verdict word(s); and the
// lowpass edge ORIGIN measured, drawn as a marked line.
[[nodiscard]] PictureLabels pictureLabels(const FileReport& record);

// An analysed file's picture before encoding, with the levels it shows (the
// window reads them under the pointer).
struct FilePicture {
    Spectrogram spectrogram;
    PictureImage image;
};
[[nodiscard]] FilePicture makeFilePicture(const DecodedAudio& audio, const FileReport& record, PictureSize size,
                                          const AnalysisOptions& analysis, const std::atomic<bool>& stopRequested);

// The PNG bytes of an analysed file's picture, encodePng(makeFilePicture(...).image): the spectrogram of audio (the
// audio the record was analysed from) with one column per pixel of the plot
// area, labelled by pictureLabels(record). Every front end writes these bytes,
// so the same file at the same size gives the same picture everywhere.
// analysis only says how many threads help; it does not change the bytes.
// Throws Cancelled on a stop, std::runtime_error / std::invalid_argument when
// the picture cannot be made.
[[nodiscard]] std::vector<unsigned char> filePicturePng(const DecodedAudio& audio, const FileReport& record,
                                                        PictureSize size, const AnalysisOptions& analysis,
                                                        const std::atomic<bool>& stopRequested);

// The small picture of a file in the HTML report: the labelled picture at the
// renderer's smallest size, shown smaller in the table and at this size on a
// click. thumbnailPng gets its PNG; pictureError says why a file analysed
// without error has none. On a stop Cancelled passes on.
inline constexpr PictureSize kThumbnailSize{PictureSize::kMinWidth, PictureSize::kMinHeight};
void addThumbnail(const DecodedAudio& audio, FileReport& record, const AnalysisOptions& analysis,
                  const std::atomic<bool>& stopRequested);

// The pictures of a batch: one PNG per analysed file into one folder, named by
// PictureNames from the path as named (so the names depend neither on --jobs
// nor on the shard), written while the file's audio is in memory, from
// BatchSettings::withAudio. A picture is written only where a report could be
// (OutputGuard): a name in the folder that leads to an input or to audio is
// left alone.
class BatchPictures {
public:
    // Creates the folder when it is missing; throws std::runtime_error with a
    // user-readable message (and the system's reason) when it cannot be made
    // or is not a folder. wholeRun: every file of the run counted, the other
    // shards' too; without it, inputs are the whole run.
    BatchPictures(std::filesystem::path folder, PictureSize size, const std::vector<BatchInput>& inputs,
                  const std::atomic<bool>& stopRequested);
    BatchPictures(std::filesystem::path folder, PictureSize size, const std::vector<BatchInput>& inputs,
                  PictureNames wholeRun, const std::atomic<bool>& stopRequested);
    BatchPictures(std::filesystem::path folder, PictureSize size, std::size_t count, const InputAt& inputAt,
                  PictureNames wholeRun, const std::atomic<bool>& stopRequested);

    // The name input index's picture gets when it is written.
    [[nodiscard]] const std::string& nameFor(std::size_t index) const { return m_names[index]; }

    // Renders and writes the picture of input index; sets record.pictureName,
    // or record.pictureError when it cannot (a full disk, say, or a name
    // that the guard refuses). On a stop
    // nothing is written and Cancelled passes on. analysis: the threads the
    // file's analysis had.
    void write(std::size_t index, const DecodedAudio& audio, FileReport& record,
               const AnalysisOptions& analysis) const;

private:
    std::filesystem::path m_folder;
    PictureSize m_size;
    const std::atomic<bool>& m_stop;
    std::vector<std::string> m_names;
    OutputGuard m_guard;
};

} // namespace orvel
