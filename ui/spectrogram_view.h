// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/file_report.h"
#include "picture/file_picture.h"

class QPainter;

namespace orvel {

// The picture size the window draws and saves: kestrone-scan's default, so
// "Save picture…" writes the bytes kestrone-scan --spectrogram writes.
inline constexpr PictureSize kWindowPictureSize{};

// Where the picture goes inside the view: scaled to fit below the titles,
// aspect kept, centred. Empty when the view is too small.
[[nodiscard]] QRect spectrogramImageRect(const QRect& view, PictureSize size);

// What the picture shows under the pointer.
struct SpectrogramReadout {
    double seconds = 0;
    double kHz = 0;
    double db = 0;
};
// Empty outside the picture's plot area. image: where the picture is drawn.
[[nodiscard]] std::optional<SpectrogramReadout> spectrogramReadoutAt(const Spectrogram& spectrogram, PictureSize size,
                                                                     const QRect& image, QPoint pos);
// "12.3 s · 15.2 kHz · -45.2 dB"
[[nodiscard]] QString spectrogramReadoutText(const SpectrogramReadout& readout);

// The spectrogram picture of the selected file. The file is decoded again and
// drawn on a worker thread, so the window never waits for it; a new selection
// stops a drawing that is under way. The picture is the one every front end
// makes (makeFilePicture), at kWindowPictureSize.
class SpectrogramView : public QObject {
public:
    enum class State { Empty, Drawing, Ready, Failed };

    // changed is called on the owner's thread whenever the state changes.
    explicit SpectrogramView(std::function<void()> changed);
    ~SpectrogramView() override;
    SpectrogramView(const SpectrogramView&) = delete;
    SpectrogramView& operator=(const SpectrogramView&) = delete;

    // Shows the picture of an analysed record (its file is record->file);
    // null or a failed record shows nothing. The same record again changes nothing.
    void show(const FileReport* record);

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const std::string& failure() const { return m_failure; }
    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }
    // The PNG bytes of the shown picture; empty unless Ready.
    [[nodiscard]] std::vector<unsigned char> png() const;

    // Titles and the picture scaled into view, or a line saying why there is
    // none; with a pointer over the plot, the readout.
    void paint(QPainter& painter, const QRect& view, std::optional<QPoint> pointer) const;

private:
    void stopWorker();

    std::function<void()> m_changed;
    const FileReport* m_record = nullptr;
    std::filesystem::path m_file;
    State m_state = State::Empty;
    std::string m_failure;
    std::unique_ptr<FilePicture> m_picture;
    QImage m_image;
    mutable QImage m_scaled; // m_image at the size last painted
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::thread m_worker;
    unsigned m_generation = 0;
};

} // namespace orvel
