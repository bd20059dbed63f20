// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers the widget pixel tests share: rendering offscreen and comparing
// pixels with panel colours.
#pragma once

#include "widgets/Colors.h"

#include <QImage>
#include <QWidget>

inline QImage Render(QWidget &widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline TColor PixelColor(const QImage &image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    return RGBColor(qRed(p), qGreen(p), qBlue(p));
}
