#pragma once

#include "model/Loudness.h"

#include <QUrl>

#include <optional>

namespace tolvex::render {

/// Where a finished render's file stands and what it measures.
struct RenderResult {
    QUrl file;
    /// Measured on what the file holds; absent when it could not be measured.
    std::optional<model::Loudness> loudness;
};

} // namespace tolvex::render
