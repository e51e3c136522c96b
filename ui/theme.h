// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <filesystem>
#include <string_view>

#include "analysis/verdict.h"

namespace orvel::theme {

// A text tone's colour from the one table the terminal uses too.
[[nodiscard]] QColor toneQColor(Tone tone);

// The fixed dark scheme.
inline const QColor kWindowBackground{0x0F, 0x14, 0x1D};
inline const QColor kPanelBackground{0x16, 0x1D, 0x28};
inline const QColor kPrimaryText = toneQColor(Tone::Primary);
inline const QColor kSecondaryText = toneQColor(Tone::Secondary);
inline const QColor kAccent = toneQColor(Tone::Accent);
inline const QColor kEvidence = toneQColor(Tone::Evidence);
inline const QColor kError = toneQColor(Tone::Error);
inline const QColor kBorder{0x23, 0x2C, 0x3A};
inline const QColor kGrid{0x2A, 0x33, 0x40};
inline const QColor kPressed{0x2A, 0x49, 0x4F};
inline const QColor kDisabledText{0x6F, 0x7D, 0x8F};
inline const QColor kHeader{0x1E, 0x27, 0x35};
inline const QColor kAccentPressed{0x3D, 0xC1, 0x9E};

// Fonts at their pixel heights (Qt logical pixels are the 96-DPI design units).
enum class FontRole { Ui, Wordmark, Small, Title };
[[nodiscard]] QFont font(FontRole role);
// The About dialog's fonts: pixel height, weight, underline.
[[nodiscard]] QFont font(int pixelSize, int weight, bool underline = false);

// Rectangle from left, top, right and bottom edges, right and bottom exclusive.
[[nodiscard]] inline QRect ltrb(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

// UTF-8 program text for display.
[[nodiscard]] QString toQString(std::string_view text);
// A path for display; bytes that are not UTF-8 show as U+FFFD.
[[nodiscard]] QString displayPath(const std::filesystem::path& path);
// A dialog's path back to the file system's bytes.
[[nodiscard]] std::filesystem::path pathFromQString(const QString& path);

} // namespace orvel::theme

class QApplication;

namespace orvel::theme {

// Fusion with the dark scheme, so that scroll bars, dialogs and message boxes match.
void applyApplicationStyle(QApplication& app);

} // namespace orvel::theme
