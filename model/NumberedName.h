#pragma once

#include <QString>

namespace tolvex::model {

// The names an output moves through while the earlier ones are taken:
// "base.ext", then "base 2.ext", "base 3.ext", … in the same folder.

/// The n-th name of the series whose first is the path `first`: `first`
/// itself for n ≤ 1, else `first` with " n" before the last dot of its file
/// name (at the end of a name without one).
QString numberedName(const QString& first, int n);

/// The first name of the series in which `path` is the n-th: the inverse of
/// numberedName.
QString firstNumberedName(const QString& path, int n);

} // namespace tolvex::model
