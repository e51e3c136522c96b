// SPDX-License-Identifier: MIT
#include "ui/about_dialog.h"

#include <QDesktopServices>
#include <QFontMetrics>
#include <QPainter>

#include <array>

#include "ui/app_icon.h"
#include "ui/command_button.h"
#include "ui/theme.h"

namespace orvel {
namespace {

constexpr int kMargin = 28;
constexpr int kLinkColumn = 190;
constexpr int kSingle = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

QFont headingFont() { return theme::font(11, 700); }
QFont nameFont() { return theme::font(13, 600); }
QFont bodyFont() { return theme::font(12, 400); }
QFont linkFont() { return theme::font(16, 600, true); }

void drawText(QPainter& p, const QRect& r, const QFont& f, const QColor& c, const QString& text, int flags = kSingle)
{
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, text);
}

} // namespace

LinkButton::LinkButton(const QString& text, const QUrl& url, QWidget* parent) : QAbstractButton(parent), m_url(url)
{
    setText(text);
    setFont(linkFont());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(url.toString());
    connect(this, &QAbstractButton::clicked, this, [this] { QDesktopServices::openUrl(m_url); });
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 4, metrics.height() + 2};
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(theme::kAccent);
    painter.drawText(rect(), kSingle, text());
    if (hasFocus()) {
        painter.setPen(QPen(theme::kAccent, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Kestrone"));
    setModal(true);
    setFixedSize(kWidth, kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, theme::kWindowBackground);
    pal.setColor(QPalette::WindowText, theme::kPrimaryText);
    setPalette(pal);
    setAutoFillBackground(true);

    const int flacWidth =
        placeLink(QStringLiteral("libFLAC"), QUrl(QStringLiteral("https://xiph.org/flac/")), kLinkColumn, 322);
    placeLink(QStringLiteral("libsndfile"), QUrl(QStringLiteral("https://libsndfile.github.io/libsndfile/")),
              kLinkColumn + flacWidth + 18, 322);
    placeLink(QStringLiteral("FFmpeg"), QUrl(QStringLiteral("https://ffmpeg.org/")), kLinkColumn, 382);
    placeLink(QStringLiteral("Qt"), QUrl(QStringLiteral("https://www.qt.io/")), kLinkColumn, 442);

    m_close = new CommandButton(QStringLiteral("Close"), CommandButton::Kind::Dialog, this);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setGeometry(kWidth - kMargin - 104, kHeight - kMargin - 36, 104, 36);
    connect(m_close, &QAbstractButton::clicked, this, &QDialog::accept);
    m_close->setFocus(Qt::OtherFocusReason);
}

int AboutDialog::placeLink(const QString& text, const QUrl& url, int x, int y)
{
    auto* link = new LinkButton(text, url, this);
    link->setObjectName(QStringLiteral("link-") + text);
    link->setGeometry(QRect(QPoint(x, y), link->sizeHint()));
    return link->width();
}

void AboutDialog::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), theme::kWindowBackground);
    p.setRenderHint(QPainter::Antialiasing);

    // Icon tile, wordmark, version badge and tagline.
    p.setPen(Qt::NoPen);
    p.setBrush(theme::kPanelBackground);
    p.drawRoundedRect(QRectF(kMargin, 28, 64, 64), 14, 14);
    paintAppIcon(p, QRectF(kMargin + 8, 36, 48, 48));
    const QFont wordmark = theme::font(28, 700);
    drawText(p, QRect(108, 28, 300, 36), wordmark, theme::kAccent, QStringLiteral("KESTRONE"));
    const int badgeLeft = 108 + QFontMetrics(wordmark).horizontalAdvance(QStringLiteral("KESTRONE")) + 16;
    const QString version = QStringLiteral("VERSION 0.2");
    const QRectF badge(badgeLeft, 35, QFontMetrics(headingFont()).horizontalAdvance(version) + 22, 22);
    p.setPen(QPen(theme::kAccent, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(badge.adjusted(0.5, 0.5, -0.5, -0.5), 11, 11);
    drawText(p, badge.toRect(), headingFont(), theme::kAccent, version, Qt::AlignCenter | Qt::TextSingleLine);
    drawText(p, QRect(108, 66, 400, 22), bodyFont(), theme::kSecondaryText, QStringLiteral("Lossless audio inspector"));

    // Chips naming the four checks.
    int x = kMargin;
    for (const char* chip : {"UPSCALING", "UPSAMPLING", "AAC-SIN", "ORIGIN"}) {
        const QString text = QString::fromLatin1(chip);
        const QRectF r(x, 116, QFontMetrics(headingFont()).horizontalAdvance(text) + 28, 28);
        p.setPen(QPen(theme::kBorder, 1));
        p.setBrush(theme::kPanelBackground);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
        drawText(p, r.toRect(), headingFont(), theme::kPrimaryText, text, Qt::AlignCenter | Qt::TextSingleLine);
        x += static_cast<int>(r.width()) + 10;
    }

    drawText(p, QRect(kMargin, 170, 400, 18), headingFont(), theme::kSecondaryText, QStringLiteral("THE CHECKS"));
    // Four rows in the height the seed's three took, so the credits stay where they were.
    const std::array<std::pair<const char*, const char*>, 4> checks{{
        {"Upscaling", "Sample precision patterns"},
        {"Upsampling", "Possible bandwidth boundaries"},
        {"AAC-SIN", "Experimental sine-window fingerprint"},
        {"ORIGIN", "Lowpass cutoff and codec frame grids"},
    }};
    int y = 192;
    for (const auto& [name, description] : checks) {
        drawText(p, QRect(kMargin, y, 150, 22), nameFont(), theme::kPrimaryText, QString::fromLatin1(name));
        drawText(p, QRect(kLinkColumn, y, 440, 22), bodyFont(), theme::kSecondaryText, QString::fromLatin1(description));
        y += 24;
    }

    drawText(p, QRect(kMargin, 296, 400, 18), headingFont(), theme::kSecondaryText, QStringLiteral("CREDITS"));
    drawText(p, QRect(kMargin, 322, 160, 26), nameFont(), theme::kPrimaryText, QStringLiteral("Audio decoding"));
    drawText(p, QRect(kLinkColumn, 350, 460, 20), bodyFont(), theme::kSecondaryText,
             QStringLiteral("Xiph.Org Foundation \u00B7 BSD-3-Clause   \u00B7   libsndfile authors \u00B7 LGPL-2.1-or-later"));
    drawText(p, QRect(kMargin, 382, 160, 26), nameFont(), theme::kPrimaryText, QStringLiteral("Media decoding"));
    drawText(p, QRect(kLinkColumn, 410, 460, 20), bodyFont(), theme::kSecondaryText,
             QStringLiteral("FFmpeg developers \u00B7 LGPL-2.1-or-later \u00B7 MP4, MP3, WavPack, APE, Ogg, WMA, MKA, CAF"));
    drawText(p, QRect(kMargin, 442, 160, 26), nameFont(), theme::kPrimaryText, QStringLiteral("User interface"));
    drawText(p, QRect(kLinkColumn, 470, 460, 20), bodyFont(), theme::kSecondaryText,
             QStringLiteral("The Qt Company \u00B7 LGPL-3.0 \u00B7 Widgets"));

    // The note on results.
    const QRectF note(kMargin, 510, kWidth - 2 * kMargin, 72);
    p.setPen(QPen(theme::kBorder, 1));
    p.setBrush(theme::kPanelBackground);
    p.drawRoundedRect(note.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    drawText(p, QRect(kMargin + 18, 522, 400, 18), headingFont(), theme::kEvidence, QStringLiteral("A NOTE ON RESULTS"));
    drawText(p, QRect(kMargin + 18, 544, kWidth - 2 * kMargin - 36, 30), bodyFont(), theme::kPrimaryText,
             QStringLiteral("Findings are clues, not proof of source history. Analysis covers up to 30 seconds."),
             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
}

} // namespace orvel
