#pragma once

#include "model/UserError.h"

namespace tolvex::cli {

/// A command line or chain the program cannot work with: its German message
/// goes to standard error and the program ends with status 2, before any
/// file is touched.
class UsageError : public model::UserError {
public:
    using UserError::UserError;
};

} // namespace tolvex::cli
