// Colour contrast as the accessibility guidelines measure it: what keeps a coloured text or
// line readable on both a light and a dark background.
#pragma once

#include <QColor>

// Relative luminance, 0 (black) to 1 (white).
double RelativeLuminance(const QColor &colour);
// (L1 + 0.05) / (L2 + 0.05) with L1 the lighter: 1 (none) to 21 (black on white).
double ContrastRatio(const QColor &a, const QColor &b);

// Text needs 4.5, lines and other graphics 3.
inline constexpr double kTextContrast = 4.5;
inline constexpr double kGraphicContrast = 3.0;

// The colour itself when it stands out from the background by `ratio`; otherwise the same hue
// made lighter (on a dark background) or darker (on a light one) until it does.
QColor WithContrast(const QColor &colour, const QColor &background, double ratio);
