// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <string_view>

#include "ui/analysis_queue.h"

namespace orvel::theme {

// The fixed dark scheme.
inline const QColor kWindowBackground{0x0F, 0x14, 0x1D};
inline const QColor kPanelBackground{0x16, 0x1D, 0x28};
inline const QColor kPrimaryText{0xDE, 0xE7, 0xF1};
inline const QColor kSecondaryText{0x94, 0xA4, 0xB8};
inline const QColor kAccent{0x5D, 0xE0, 0xBB};
inline const QColor kEvidence{0xFF, 0xC5, 0x70};
inline const QColor kError{0xFF, 0x8C, 0x82};
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

[[nodiscard]] QColor toneColour(CellTone tone);

// Rectangle from left, top, right and bottom edges, right and bottom exclusive.
[[nodiscard]] inline QRect ltrb(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

// Wide program text for display; a path's undecodable bytes show as U+FFFD.
[[nodiscard]] QString toQString(std::wstring_view text);
// A display or dialog path back to a wide path, keeping a file name's raw bytes.
[[nodiscard]] std::wstring widePathFromQString(const QString& path);

} // namespace orvel::theme

class QApplication;

namespace orvel::theme {

// Fusion with the dark scheme, so that scroll bars, dialogs and message boxes match.
void applyApplicationStyle(QApplication& app);

} // namespace orvel::theme
