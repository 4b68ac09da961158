#include "ui/widgets/Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

}  // namespace

double RelativeLuminance(const QColor &colour)
{
    const QColor c = colour.toRgb();
    return 0.2126 * Linear(c.redF()) + 0.7152 * Linear(c.greenF()) + 0.0722 * Linear(c.blueF());
}

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = RelativeLuminance(a), lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor WithContrast(const QColor &colour, const QColor &background, double ratio)
{
    if (ContrastRatio(colour, background) >= ratio)
        return colour;
    const bool lighten = RelativeLuminance(background) < 0.18;
    const QColor target = lighten ? QColor(Qt::white) : QColor(Qt::black);
    // Mixing towards white or black keeps the hue; the first mix that is enough is the
    // closest to the colour asked for.
    const QColor from = colour.toRgb();
    for (int step = 1; step <= 20; ++step) {
        const double t = step / 20.0;
        const QColor mixed = QColor::fromRgbF(static_cast<float>(from.redF() + (target.redF() - from.redF()) * t),
                                              static_cast<float>(from.greenF() + (target.greenF() - from.greenF()) * t),
                                              static_cast<float>(from.blueF() + (target.blueF() - from.blueF()) * t));
        if (ContrastRatio(mixed, background) >= ratio)
            return mixed;
    }
    return target;
}
