// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "ui/theme.h"

namespace {

// Every test starts from a window that remembers nothing.
class ForgetSettings : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        QSettings(QStringLiteral("kestrone"), QStringLiteral("kestrone")).clear();
    }
};

} // namespace

// The window tests need a QApplication; without a display they run on the
// offscreen platform with a screen that holds the window at its design size.
// What the window remembers goes to a scratch folder, never the user's settings.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" KESTRONE_SOURCE_DIR "/tests/ui/screens/desk.json");
    }
    QTemporaryDir settings;
    if (!settings.isValid()) {
        return 2;
    }
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    orvel::theme::applyApplicationStyle(app);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetSettings);
    return RUN_ALL_TESTS();
}
