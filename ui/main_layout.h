// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>

#include <array>

namespace orvel {

// Where the main window's controls and painted areas go for a client size of
// width x height, in 96-DPI design units.
struct MainLayout {
    static constexpr int kMargin = 28;

    std::array<QRect, 7> buttons;
    QRect list;
    std::array<int, 5> columnWidths{};
    QRect panel;    // evidence panel
    QRect details;  // details text
    QRect spectrum; // spectrum view
    QRect progress;
};

[[nodiscard]] MainLayout computeMainLayout(int width, int height);

} // namespace orvel
