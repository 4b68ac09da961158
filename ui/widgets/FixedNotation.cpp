#include "ui/widgets/FixedNotation.h"

#include <QLocale>
#include <cmath>

QString FormatFixed(double value, int precision, int decimals)
{
    const QLocale locale;
    if (!std::isfinite(value))
        return locale.toString(value);
    double rounded = 0;
    if (value != 0) {
        const int digits = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
        const double unit = std::pow(10.0, digits - precision);
        rounded = std::round(value / unit) * unit;
        // Rounding can add a digit (999.6 -> 1000): count again.
        const int roundedDigits = static_cast<int>(std::floor(std::log10(std::fabs(rounded)))) + 1;
        if (roundedDigits > precision)
            return locale.toString(rounded, 'E', precision - 1);
    }
    if (rounded == 0)
        rounded = 0;  // no "-0"
    return locale.toString(rounded, 'f', decimals);
}
