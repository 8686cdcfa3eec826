#pragma once

#include <QString>

namespace tolvex::cli {

/// The whole help, laid out like a manual page, for `--help`.
QString helpText();

} // namespace tolvex::cli
