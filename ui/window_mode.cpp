// SPDX-License-Identifier: MIT
#include "app/window_mode.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "ui/main_window.h"
#include "ui/theme.h"

namespace orvel {

int runWindowMode(int& argc, char** argv, const std::vector<std::string>& paths)
{
    // Without any display Qt would abort; the window cannot be created, which is exit code 1,
    // said on stderr so that a terminal user started over ssh knows why nothing opened.
    const bool haveDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
    if (!haveDisplay) {
        std::fputs("kestrone: cannot open the window: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "kestrone-scan analyses files on a terminal\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrone"));
    QApplication::setApplicationVersion(QStringLiteral(KESTRONE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("kestrone"));
    theme::applyApplicationStyle(app);

    MainWindow window;
    if (!paths.empty()) {
        window.queue().addPaths(std::vector<std::filesystem::path>(paths.begin(), paths.end()));
    }
    window.show();
    return QApplication::exec();
}

} // namespace orvel
