// SPDX-License-Identifier: MIT
#include "ui/spectrogram_view.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "text/format_number.h"
#include "text/utf8.h"
#include "ui/theme.h"

namespace orvel {

namespace {

constexpr int kTitlesHeight = 48;

int rightEdge(const QRect& r) { return r.x() + r.width(); }
int bottomEdge(const QRect& r) { return r.y() + r.height(); }

} // namespace

QRect spectrogramImageRect(const QRect& view, PictureSize size)
{
    const QRect area = theme::ltrb(view.left(), view.top() + kTitlesHeight, rightEdge(view), bottomEdge(view));
    if (area.width() < 8 || area.height() < 8) {
        return {};
    }
    const double scale = std::min(static_cast<double>(area.width()) / size.width,
                                  static_cast<double>(area.height()) / size.height);
    const int w = static_cast<int>(size.width * scale);
    const int h = static_cast<int>(size.height * scale);
    return {area.left() + (area.width() - w) / 2, area.top(), w, h};
}

std::optional<SpectrogramReadout> spectrogramReadoutAt(const Spectrogram& spectrogram, PictureSize size,
                                                       const QRect& image, QPoint pos)
{
    if (image.isEmpty() || spectrogram.columns == 0 || spectrogram.bins < 2) {
        return std::nullopt;
    }
    // Back to the picture's own pixels, then into its plot as the renderer lays it out.
    const double x = (pos.x() - image.left() + 0.5) * size.width / image.width();
    const double y = (pos.y() - image.top() + 0.5) * size.height / image.height();
    const PlotArea plot = plotArea(size);
    if (x < plot.left || y < plot.top || x >= plot.left + plot.width || y >= plot.top + plot.height) {
        return std::nullopt;
    }
    const auto px = static_cast<std::size_t>(x - plot.left);
    const auto row = static_cast<int>(y - plot.top);
    const std::size_t column =
        std::min(px * spectrogram.columns / static_cast<std::size_t>(plot.width), spectrogram.columns - 1);
    // A pixel row shows the loudest bin of its band (the nearest when the band holds none).
    const double perRow = static_cast<double>(spectrogram.bins - 1) / plot.height;
    const double low = (plot.height - row - 1) * perRow;
    const double high = (plot.height - row) * perRow;
    auto first = static_cast<std::size_t>(std::ceil(low));
    auto last = std::min(static_cast<std::size_t>(std::floor(high)), spectrogram.bins - 1);
    if (first > last) {
        first = last = std::min(static_cast<std::size_t>(std::lround((low + high) / 2)), spectrogram.bins - 1);
    }
    float level = spectrogram.level(column, first);
    for (std::size_t bin = first + 1; bin <= last; ++bin) {
        level = std::max(level, spectrogram.level(column, bin));
    }
    SpectrogramReadout readout;
    readout.seconds = (static_cast<double>(column) + 0.5) / static_cast<double>(spectrogram.columns) * spectrogram.seconds;
    readout.kHz = (low + high) / 2 * spectrogram.binHz() / 1000.0;
    readout.db = level;
    return readout;
}

QString spectrogramReadoutText(const SpectrogramReadout& readout)
{
    return theme::toQString(formatNumber(readout.seconds, 1) + " s \u00B7 " + formatNumber(readout.kHz, 1) +
                            " kHz \u00B7 " + formatNumber(readout.db, 1) + " dB");
}

SpectrogramView::SpectrogramView(std::function<void()> changed) : m_changed(std::move(changed)) {}

SpectrogramView::~SpectrogramView() { stopWorker(); }

void SpectrogramView::stopWorker()
{
    if (m_stop) {
        m_stop->store(true);
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_stop.reset();
}

void SpectrogramView::show(const FileReport* record)
{
    if (record && !record->error.empty()) {
        record = nullptr;
    }
    if (record == m_record && (!record || record->file == m_file)) {
        return;
    }
    stopWorker();
    m_record = record;
    m_picture.reset();
    m_image = QImage();
    m_scaled = QImage();
    m_failure.clear();
    ++m_generation;
    if (!record) {
        m_file.clear();
        m_state = State::Empty;
        m_changed();
        return;
    }
    m_file = record->file;
    m_state = State::Drawing;

    // The worker gets its own copy of what labels the picture; the record may
    // go while it draws.
    FileReport labels = *record;
    labels.spectrumDb.clear();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_worker = std::thread([this, generation = m_generation, stop = m_stop, labels = std::move(labels)] {
        std::shared_ptr<FilePicture> picture;
        std::string failure;
        try {
            const DecodedAudio audio = decodeAudio(labels.file, *stop);
            AnalysisOptions analysis;
            analysis.threads = 1; // the window's analysis may be running beside it
            picture = std::make_shared<FilePicture>(makeFilePicture(audio, labels, kWindowPictureSize, analysis, *stop));
        } catch (const Cancelled&) {
            return;
        } catch (const std::exception& error) {
            failure = sanitizeUtf8(error.what());
        }
        // Queued to the owner's thread; dropped if the view is gone, and
        // ignored there if another file was shown meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, generation, picture, failure] {
                if (generation != m_generation) {
                    return;
                }
                if (picture) {
                    const PictureImage& image = picture->image;
                    m_image = QImage(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                                     image.width * 4, QImage::Format_ARGB32)
                                  .copy();
                    m_scaled = QImage();
                    m_picture = std::make_unique<FilePicture>(std::move(*picture));
                    m_state = State::Ready;
                } else {
                    m_failure = failure.empty() ? "The spectrogram could not be drawn." : failure;
                    m_state = State::Failed;
                }
                m_changed();
            },
            Qt::QueuedConnection);
    });
    m_changed();
}

std::vector<unsigned char> SpectrogramView::png() const
{
    return m_picture ? encodePng(m_picture->image) : std::vector<unsigned char>();
}

void SpectrogramView::paint(QPainter& painter, const QRect& view, std::optional<QPoint> pointer) const
{
    const int right = rightEdge(view);
    const int single = Qt::TextSingleLine | Qt::AlignVCenter;
    painter.setPen(theme::kSecondaryText);
    painter.setFont(theme::font(theme::FontRole::Title));
    painter.drawText(theme::ltrb(view.left(), view.top(), right, view.top() + 20), single | Qt::AlignLeft,
                     QStringLiteral("SPECTROGRAM"));
    painter.setFont(theme::font(theme::FontRole::Small));
    painter.drawText(theme::ltrb(view.left(), view.top() + 24, right, view.top() + 44), single | Qt::AlignLeft,
                     QStringLiteral("Level over time \u00B7 analyzed region"));

    const QRect target = spectrogramImageRect(view, kWindowPictureSize);
    if (target.isEmpty()) {
        return;
    }
    if (m_state != State::Ready) {
        const QRect area = theme::ltrb(view.left(), view.top() + kTitlesHeight, right, bottomEdge(view));
        painter.setPen(theme::kSecondaryText);
        const QString text = m_state == State::Drawing  ? QStringLiteral("Drawing the spectrogram\u2026")
                             : m_state == State::Failed ? theme::toQString("No spectrogram: " + m_failure)
                                                        : QStringLiteral("The spectrogram will appear after analysis");
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text);
        return;
    }
    // Scaled once per size, not on every move of the pointer.
    if (m_scaled.size() != target.size()) {
        m_scaled = m_image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.drawImage(target.topLeft(), m_scaled);

    if (pointer && m_picture) {
        if (const auto readout = spectrogramReadoutAt(m_picture->spectrogram, kWindowPictureSize, target, *pointer)) {
            painter.setPen(QPen(theme::kPrimaryText, 1, Qt::DashLine));
            painter.drawLine(pointer->x(), target.top(), pointer->x(), bottomEdge(target) - 1);
            painter.drawLine(target.left(), pointer->y(), rightEdge(target) - 1, pointer->y());
            painter.setPen(theme::kPrimaryText);
            painter.drawText(theme::ltrb(view.left(), view.top() + 24, right, view.top() + 44),
                             single | Qt::AlignRight, spectrogramReadoutText(*readout));
        }
    }
}

} // namespace orvel
