// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "ui/about_dialog.h"
#include "ui/command_button.h"
#include "ui/main_window.h"
#include "ui/theme.h"
#include "tests/ui/window_fixture.h"
#include "tests/ui/window_test_support.h"

namespace {

using kestrone_test::UrlCatcher;
using orvel::AboutDialog;
using orvel::LinkButton;

TEST(AboutDialogTest, LinksOpenTheLibrariesProjectPages)
{
    AboutDialog dialog;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    const std::pair<const char*, const char*> links[] = {{"libFLAC", "https://xiph.org/flac/"},
                                                         {"libsndfile", "https://libsndfile.github.io/libsndfile/"},
                                                         {"FFmpeg", "https://ffmpeg.org/"},
                                                         {"Qt", "https://www.qt.io/"}};
    dialog.show();
    for (const auto& [name, url] : links) {
        auto* link = dialog.findChild<LinkButton*>(QStringLiteral("link-") + QString::fromLatin1(name));
        ASSERT_NE(link, nullptr) << name;
        EXPECT_EQ(link->text(), QString::fromLatin1(name));
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_TRUE(dialog.rect().contains(link->geometry())) << name;
        QTest::mouseClick(link, Qt::LeftButton);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.opened.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(catcher.opened[i], QUrl(QString::fromLatin1(links[i].second)));
    }
}

TEST(AboutDialogTest, HasItsCaptionSizeAndAClosingCloseButton)
{
    AboutDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Kestrone"));
    EXPECT_EQ(dialog.size(), QSize(680, 660));
    auto* close = dialog.findChild<orvel::CommandButton*>(QStringLiteral("closeButton"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("Close"));
    QTimer::singleShot(0, close, [close] { QTest::mouseClick(close, Qt::LeftButton); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);

    const QImage shot = kestrone_test::render(*close);
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, 3), orvel::theme::kAccent);
    close->setDown(true);
    const QImage pressed = kestrone_test::render(*close);
    EXPECT_EQ(pressed.pixelColor(pressed.width() / 2, 3), orvel::theme::kAccentPressed);
}

TEST(AboutDialogTest, EscapeClosesIt)
{
    AboutDialog dialog;
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

TEST(AboutDialogTest, PaintsTheWordmarkAndTheNoteInTheirColours)
{
    AboutDialog dialog;
    const QImage shot = kestrone_test::render(dialog);
    EXPECT_GT(kestrone_test::countColour(shot, QRect(100, 24, 300, 44), orvel::theme::kAccent), 100);
    EXPECT_GT(kestrone_test::countColour(shot, QRect(28, 510, 624, 40), orvel::theme::kEvidence), 20);
    EXPECT_EQ(shot.pixelColor(5, 5), orvel::theme::kWindowBackground);
}

} // namespace

