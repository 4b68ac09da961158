// The segment displays' number format: rounded to `precision` significant digits, then
// written with `decimals` places in the locale's separator (precision 3, 2 places:
// 12.345 gives 12.30); more integer digits than the precision give exponent form.
#pragma once

#include <QString>

QString FormatFixed(double value, int precision, int decimals);
