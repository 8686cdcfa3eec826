#include "ui/editors/ParameterScale.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tolvex::ui::editors {

namespace {
constexpr int finePositions = 1000;
constexpr float maxIntegerSteps = 10000;
} // namespace

ParameterScale::ParameterScale(const host::PluginParameter& parameter)
    : m_minimum(parameter.minimum), m_maximum(std::max(parameter.minimum, parameter.maximum)),
      m_logarithmic(parameter.logarithmic && !parameter.integer &&
                    m_minimum * m_maximum > 0), // same sign, neither zero
      m_integer(parameter.integer), m_unit(parameter.unit)
{
    const float span = m_maximum - m_minimum;
    m_positions =
        m_integer && span <= maxIntegerSteps ? std::max(1, int(std::lround(span))) : finePositions;
}

int ParameterScale::position(float value) const
{
    value = std::clamp(value, m_minimum, m_maximum);
    double fraction = 0;
    if (m_maximum > m_minimum)
        fraction = m_logarithmic ? std::log(value / m_minimum) / std::log(m_maximum / m_minimum)
                                 : (double(value) - m_minimum) / (double(m_maximum) - m_minimum);
    return int(std::lround(std::clamp(fraction, 0.0, 1.0) * m_positions));
}

float ParameterScale::value(int position) const
{
    const double fraction = std::clamp(double(position) / m_positions, 0.0, 1.0);
    double value = m_logarithmic ? m_minimum * std::pow(double(m_maximum) / m_minimum, fraction)
                                 : m_minimum + fraction * (double(m_maximum) - m_minimum);
    if (m_integer)
        value = std::round(value);
    return std::clamp(float(value), m_minimum, m_maximum);
}

QString ParameterScale::text(float value) const
{
    int decimals = 0;
    if (m_logarithmic && value != 0) {
        // Three significant digits: 0.0316, 25.3, 1000.
        decimals = std::clamp(2 - int(std::floor(std::log10(std::abs(value)))), 0, 4);
    } else if (!m_integer && m_maximum > m_minimum) {
        // The last digit moves every ten of the slider's thousand steps.
        const double digit = (double(m_maximum) - m_minimum) / finePositions * 10;
        decimals = std::clamp(int(std::ceil(-std::log10(digit))), 0, 4);
    }
    QString number = QLocale().toString(double(value), 'f', decimals);
    if (number.startsWith(u'-') && QLocale().toDouble(number) == 0)
        number.remove(0, 1); // no "-0,0"
    return m_unit.isEmpty() ? number : number + u' ' + m_unit;
}

} // namespace tolvex::ui::editors
