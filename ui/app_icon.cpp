// SPDX-License-Identifier: MIT
#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

#include "ui/theme.h"

// The resources live in a static library; their registration must be pulled in by hand.
static void initKestroneResources() { Q_INIT_RESOURCE(kestrone); }

namespace orvel {

void ensureResources()
{
    static const bool once = (initKestroneResources(), true);
    (void)once;
}

void paintAppIcon(QPainter& painter, const QRectF& rect)
{
    // Same geometry as the SVG: a 64-unit canvas, a rounded tile and a
    // waveform that rises like a wing beat.
    static constexpr std::array<QPointF, 8> kWave{QPointF(12, 38), QPointF(20, 38), QPointF(25, 24), QPointF(31, 46),
                                                  QPointF(37, 16), QPointF(43, 40), QPointF(47, 32), QPointF(52, 32)};
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.topLeft());
    painter.scale(rect.width() / 64.0, rect.height() / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme::kWindowBackground);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    QPainterPath wave(kWave[0]);
    for (std::size_t i = 1; i < kWave.size(); ++i) {
        wave.lineTo(kWave[i]);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(theme::kAccent, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(wave);
    painter.restore();
}

QIcon appIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintAppIcon(painter, QRectF(0, 0, size, size));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace orvel
