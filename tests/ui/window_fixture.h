// SPDX-License-Identifier: MIT
#pragma once

// What the window tests share: a shown main window, the test files queued,
// modal windows answered and the addresses opened caught.
#include <gtest/gtest.h>

#include <QApplication>
#include <QList>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

#include "tests/support/files.h"
#include "tests/ui/window_test_support.h"
#include "ui/main_window.h"

namespace kestrone_test {

// Runs handler on the next modal window that appears, once.
inline void onNextModal(std::function<void(QWidget*)> handler)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, handler] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            handler(modal);
        }
    });
    timer->start();
}

// Receives the addresses the window or a dialog asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

// A main window shown for each test; a running analysis is stopped before it closes.
class ShownWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<orvel::MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        if (window && window->queue().busy()) {
            window->queue().requestStop();
            waitFor([this] { return !window->queue().busy(); });
        }
        window.reset();
    }

    // Row 1 ends with "Evidence found" for upscaling, row 3 fails.
    void queueTestFiles()
    {
        window->queue().addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"),
                                  orvel::testing::testAudio("ui", "2ch-48000Hz-16in24-padded.flac"),
                                  orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3"),
                                  orvel::testing::testAudio("ui", "not-audio.txt")});
    }

    std::unique_ptr<orvel::MainWindow> window;
};

} // namespace kestrone_test
