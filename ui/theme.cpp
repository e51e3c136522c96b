// SPDX-License-Identifier: MIT
#include "ui/theme.h"

#include <QFile>
#include <QStringList>

#include "text/utf8.h"

namespace orvel::theme {

QFont font(int pixelSize, int weight, bool underline)
{
    QFont f;
    // Segoe UI is not on Linux; Noto Sans comes closest in width, DejaVu Sans is the fallback.
    f.setFamilies(QStringList{QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setUnderline(underline);
    return f;
}

QFont font(FontRole role)
{
    switch (role) {
    case FontRole::Wordmark:
        return font(31, 700);
    case FontRole::Small:
        return font(12, 400);
    case FontRole::Title:
        return font(14, 600);
    case FontRole::Ui:
        break;
    }
    return font(14, 400);
}

QColor toneQColor(Tone tone)
{
    const Rgb colour = orvel::toneColour(tone);
    return QColor(colour.red, colour.green, colour.blue);
}

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString displayPath(const std::filesystem::path& path) { return toQString(displayName(path)); }

std::filesystem::path pathFromQString(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    return std::filesystem::path(std::string(native.constData(), static_cast<std::size_t>(native.size())));
}

} // namespace orvel::theme

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace orvel::theme {

void applyApplicationStyle(QApplication& app)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        app.setStyle(fusion);
    }
    QPalette pal;
    pal.setColor(QPalette::Window, kWindowBackground);
    pal.setColor(QPalette::WindowText, kPrimaryText);
    pal.setColor(QPalette::Base, kPanelBackground);
    pal.setColor(QPalette::AlternateBase, kHeader);
    pal.setColor(QPalette::Text, kPrimaryText);
    pal.setColor(QPalette::PlaceholderText, kSecondaryText);
    pal.setColor(QPalette::Button, kPanelBackground);
    pal.setColor(QPalette::ButtonText, kPrimaryText);
    pal.setColor(QPalette::BrightText, kError);
    pal.setColor(QPalette::Highlight, kPressed);
    pal.setColor(QPalette::HighlightedText, kPrimaryText);
    pal.setColor(QPalette::ToolTipBase, kHeader);
    pal.setColor(QPalette::ToolTipText, kPrimaryText);
    pal.setColor(QPalette::Link, kAccent);
    pal.setColor(QPalette::Light, kGrid);
    pal.setColor(QPalette::Midlight, kGrid);
    pal.setColor(QPalette::Mid, kBorder);
    pal.setColor(QPalette::Dark, kWindowBackground);
    pal.setColor(QPalette::Shadow, kWindowBackground);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        pal.setColor(QPalette::Disabled, role, kDisabledText);
    }
    app.setPalette(pal);
    app.setFont(font(FontRole::Ui));
}

} // namespace orvel::theme
