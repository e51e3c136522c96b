// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QTest>
#include <QWidget>

#include <functional>

namespace kestrone_test {

// Processes events until done() holds or the time is up.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 120000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// How many pixels of exactly this colour an area of the image holds.
inline int countColour(const QImage& image, const QRect& area, const QColor& colour)
{
    int count = 0;
    const QRect r = area.intersected(image.rect());
    const QRgb wanted = colour.rgb() | 0xFF000000u;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            count += (image.pixel(x, y) | 0xFF000000u) == wanted ? 1 : 0;
        }
    }
    return count;
}

// The widget as drawn at one logical pixel per image pixel.
inline QImage render(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    widget.render(&image);
    return image;
}

} // namespace kestrone_test
