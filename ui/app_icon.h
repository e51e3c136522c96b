// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QRectF>

class QPainter;

namespace orvel {

// Registers the program's resources (icon, licence notices) once.
void ensureResources();

// Paints the program icon (the drawing of resources/kestrone.svg) into rect.
void paintAppIcon(QPainter& painter, const QRectF& rect);
// The icon at the usual window-icon sizes.
[[nodiscard]] QIcon appIcon();

} // namespace orvel
