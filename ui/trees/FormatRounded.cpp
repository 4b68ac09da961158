#include "ui/trees/FormatRounded.h"

#include <cmath>
#include <cstdint>

MString FormatRounded(const MString &text, int decimals)
{
    if (!text.IsNumber())
        return text;
    const double factor = decimals == 2 ? 100.0 : 1000.0;
    const double step = decimals == 2 ? 0.01 : 0.001;
    const double x = text.ToReal();
    const double scaled = std::trunc(x >= 0 ? x * factor + 0.5 : x * factor - 0.5);
    // Beyond the count (or not finite): show what the device sent rather than a wrapped number.
    if (!(scaled >= -2147483648.0 && scaled <= 2147483647.0))
        return text;
    const int32_t count = static_cast<int32_t>(scaled);
    return MString::FromReal(count * step, 10, 5);
}
