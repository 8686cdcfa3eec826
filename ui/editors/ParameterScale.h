#pragma once

#include "host/PluginParameter.h"

#include <QString>

namespace tolvex::ui::editors {

/// How a parameter's value maps onto a slider's integer positions and how
/// its value reads: integer parameters step by one, logarithmic ones (with
/// a range that does not cross zero) map evenly in ratio, the others in
/// steps of a thousandth of the range.
class ParameterScale {
public:
    explicit ParameterScale(const host::PluginParameter& parameter);

    int maximumPosition() const { return m_positions; }
    int position(float value) const;
    float value(int position) const;
    /// The value with a sensible number of decimals and the unit.
    QString text(float value) const;

private:
    float m_minimum, m_maximum;
    bool m_logarithmic, m_integer;
    int m_positions;
    QString m_unit;
};

} // namespace tolvex::ui::editors
