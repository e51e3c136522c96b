// SPDX-License-Identifier: MIT
// ui_screenshots OUTDIR FILE...: pictures of the window (empty, during a run,
// after it with a row selected, sorted with the spectrum's readout, the
// spectrogram view), of the
// About dialog and, on a real display, of the whole screen, as PNG files.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <thread>

#include "analysis/analyze_file.h"
#include "text/utf8.h"
#include "ui/about_dialog.h"
#include "ui/main_window.h"
#include "ui/queue_list_view.h"
#include "ui/queue_order.h"
#include "ui/spectrogram_view.h"
#include "ui/theme.h"

namespace {

bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 300000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool save(QWidget& widget, const QString& path)
{
    QCoreApplication::processEvents();
    const bool ok = widget.grab().save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "cannot write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: ui_screenshots OUTDIR FILE...\n");
        return 64;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The pictures show the window as it first opens, whatever the user's settings remember.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    orvel::theme::applyApplicationStyle(app);
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    // Each file is held a moment after its analysis so the run can be seen going.
    orvel::MainWindow window([](const std::filesystem::path& path, const std::atomic<bool>& stop,
                                const orvel::ProgressCallback& progress) {
        orvel::FileReport report = orvel::analyzeFile(path, stop, progress);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        return report;
    });
    window.show();
    bool ok = save(window, out + QStringLiteral("/1-empty.png"));

    std::vector<std::filesystem::path> paths;
    for (int i = 2; i < argc; ++i) {
        paths.emplace_back(argv[i]);
    }
    orvel::AnalysisQueue& queue = window.queue();
    queue.addPaths(paths);
    queue.startAnalysis();
    waitFor([&] {
        return !queue.busy() || (!queue.entries().empty() && queue.entries()[0].result != nullptr &&
                                 queue.statusText().find("\u00B7 Measuring") != std::string::npos);
    });
    ok = save(window, out + QStringLiteral("/2-running.png")) && ok;
    waitFor([&] { return !queue.busy(); });

    // Select the most telling row: the first with a finding, else the first.
    int row = 0;
    for (std::size_t i = 0; i < queue.entries().size(); ++i) {
        if (orvel::entryHasFinding(queue.entries()[i])) {
            row = static_cast<int>(i);
            break;
        }
    }
    window.list()->selectRow(row);
    ok = save(window, out + QStringLiteral("/3-selected.png")) && ok;
    // The whole screen, at its own pixels: does the window fit it?
    if (QScreen* screen = window.screen(); screen && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        const QString path = out + QStringLiteral("/5-screen.png");
        const bool saved = screen->grabWindow(0).save(path);
        std::fprintf(stderr, "%s %s (window %dx%d at scale %.2f on a %dx%d screen)\n", saved ? "wrote" : "cannot write",
                     qPrintable(path), window.width(), window.height(), window.devicePixelRatioF(),
                     screen->geometry().width(), screen->geometry().height());
        ok = saved && ok;
    }

    // Sorted by the first verdict column, the pointer over the spectrum's middle.
    emit window.list()->horizontalHeader()->sectionClicked(1);
    const QPoint middle = window.layoutRects().spectrum.center() + QPoint(0, 20);
    QMouseEvent move(QEvent::MouseMove, QPointF(middle), QPointF(window.mapToGlobal(middle)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &move);
    ok = save(window, out + QStringLiteral("/6-sorted-readout.png")) && ok;

    // The Spectrogram view of the selected file, the pointer over the picture.
    window.setSpectrumMode(orvel::MainWindow::SpectrogramPicture);
    waitFor([&] { return window.spectrogram().state() != orvel::SpectrogramView::State::Drawing; });
    QMouseEvent over(QEvent::MouseMove, QPointF(middle), QPointF(window.mapToGlobal(middle)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &over);
    ok = save(window, out + QStringLiteral("/7-spectrogram.png")) && ok;
    window.setSpectrumMode(orvel::MainWindow::SpectrumCurve);

    orvel::AboutDialog about(&window);
    about.show();
    ok = save(about, out + QStringLiteral("/4-about.png")) && ok;
    return ok ? 0 : 1;
}
