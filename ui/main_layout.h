// SPDX-License-Identifier: MIT
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <array>

#include "ui/queue_order.h"

namespace orvel {

// The design widths of the list's columns: FILE, CONCLUSION, one per check, STATE.
using QueueColumnWidths = std::array<int, kQueueColumnCount>;

// Where the main window's controls and painted areas go for a client size of
// width x height, in 96-DPI design units.
struct MainLayout {
    static constexpr int kMargin = 28;

    std::array<QRect, 7> buttons;
    QRect filter;   // the "Findings only" toggle, right-aligned in the button row
    QRect compact;  // the "Compact rows" toggle, right-aligned in the wordmark's row
    QRect list;
    QRect splitter; // the strip between the list and the panel that drags the list's height
    QueueColumnWidths columnWidths{};
    QRect panel;    // evidence panel
    QRect details;  // details text
    QRect spectrum; // spectrum view
    QRect progress;
};

// The smallest list a drag of the splitter leaves: the header and two rows.
inline constexpr int kMinListHeight = 106;
// The least the panel keeps when the list is dragged down.
inline constexpr int kMinPanelHeight = 160;

// listHeight -1 takes the design's share of the height; another value (from
// the splitter) is kept within kMinListHeight and what leaves the panel kMinPanelHeight.
// compact: the buttons move up beside the wordmark's row and the list takes a
// larger share, for its shorter rows.
[[nodiscard]] MainLayout computeMainLayout(int width, int height, int listHeight = -1, bool compact = false);

// Where the window goes on a screen: the design's size and minimum, each cut
// down to what the available area holds once the frame is added, centred in it.
struct WindowFit {
    QRect geometry; // client area, in the screen's coordinates
    QSize minimum;
};
[[nodiscard]] WindowFit fitWindowToScreen(QSize design, QSize designMinimum, const QRect& available,
                                          const QMargins& frame);

} // namespace orvel
