#include "model/DisplayText.h"

#include <cmath>
#include <limits>

namespace tolvex::model {

QString durationText(double seconds)
{
    // Non-finite and out-of-range values never come from a real item; they
    // show as 0:00 rather than as an undefined conversion.
    const double floored = std::floor(seconds);
    qint64 s = 0;
    if (floored > 0 && floored < double(std::numeric_limits<qint64>::max()))
        s = qint64(floored);
    if (s >= 3600)
        return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
    return QString::asprintf("%lld:%02lld", s / 60, s % 60);
}

QString sampleRateText(double hertz)
{
    const double remainder = std::fmod(hertz, 1000.0);
    if (remainder == 0.0 && std::abs(hertz / 1000.0) < 1e15)
        return QString::number(qint64(hertz / 1000.0)) + QStringLiteral(" kHz");
    return QString::asprintf("%.1f kHz", hertz / 1000.0);
}

QString channelText(int channels)
{
    if (channels == 1)
        return QStringLiteral("Mono");
    if (channels == 2)
        return QStringLiteral("Stereo");
    return QString::number(channels) + QStringLiteral(" Kanäle");
}

} // namespace tolvex::model
