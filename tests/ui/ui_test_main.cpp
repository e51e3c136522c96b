// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/theme.h"

// The window tests need a QApplication; without a display they run on the
// offscreen platform with a screen that holds the window at its design size.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" KESTRONE_SOURCE_DIR "/tests/ui/screens/desk.json");
    }
    QApplication app(argc, argv);
    orvel::theme::applyApplicationStyle(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
