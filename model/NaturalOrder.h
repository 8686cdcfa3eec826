#pragma once

#include <QString>

namespace tolvex::model {

/// The file manager's order: case-insensitive, runs of digits compared by
/// their value ("kette 2" before "Kette 10"). Independent of the process
/// locale, which may be "C".
bool naturalLess(const QString& a, const QString& b);

} // namespace tolvex::model
