// SPDX-License-Identifier: GPL-3.0-or-later
// Substitutes for the Windows fonts the windows name. Symbol fonts become
// Unicode glyphs in DejaVu Sans; text fonts become a metric-compatible family
// from the install list (Liberation, Carlito). Every window asks here, so
// the choice is made once.
#pragma once

#include <QChar>
#include <QFont>
#include <QString>

// The family to use for a Windows family name; unknown names pass through.
QString SubstituteFamily(const QString &family);

// A font of the substituted family, sized in points or in pixels (the
// windows give character heights in pixels, as negative font heights).
QFont SubstituteFont(const QString &family, int pointSize);
QFont SubstituteFontPixels(const QString &family, int pixelSize);

// The Unicode text that shows what `ch` shows in a symbol font (Wingdings,
// "Wingdings 3", Webdings, Symbol). Characters of other fonts, and those
// without a known picture, come back unchanged.
QString SubstituteGlyph(const QString &family, QChar ch);

// SubstituteGlyph for every character of `text`.
QString SubstituteText(const QString &family, const QString &text);

// `font` at the largest pixel size up to maxPixels at which `text` is no
// wider than `width` (a readout whose box was laid out for fewer digits).
QFont FitToWidth(QFont font, const QString &text, int width, int maxPixels);
