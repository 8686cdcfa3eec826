#pragma once

#include "model/UserError.h"

#include <exception>

namespace tolvex::render {

/// The renderer's own failure; its description for the user is `message`,
/// shown unchanged.
class RenderError : public model::UserError {
public:
    using UserError::UserError;
};

/// A render ended because its task was cancelled. Not a failure of the file.
class RenderCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "render cancelled"; }
};

} // namespace tolvex::render
