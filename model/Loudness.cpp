#include "model/Loudness.h"

#include <QStringList>

#include <cmath>

namespace tolvex::model {

QString levelText(double value)
{
    const double rounded = std::round(value * 10.0) / 10.0;
    QString text = QString::number(std::abs(rounded), 'f', 1).replace(u'.', u',');
    if (rounded < 0)
        text.prepend(QChar(0x2212));
    return text;
}

QString loudnessText(const Loudness& loudness)
{
    QStringList parts;
    if (loudness.integrated)
        parts << levelText(*loudness.integrated) + QStringLiteral(" LUFS");
    else if (loudness.tooShort)
        parts << QStringLiteral("zu kurz für eine Lautheit");
    else
        parts << QStringLiteral("Stille");
    if (loudness.range)
        parts << QStringLiteral("LRA ") + levelText(*loudness.range) + QStringLiteral(" LU");
    if (loudness.truePeak)
        parts << levelText(*loudness.truePeak) + QStringLiteral(" dBTP");
    if (loudness.belowTarget)
        parts << levelText(*loudness.belowTarget) +
                     QStringLiteral(" LU unter dem Ziel (True-Peak-Grenze)");
    return parts.join(QStringLiteral(" · "));
}

} // namespace tolvex::model
