#pragma once

#include "model/Loudness.h"
#include "model/LoudnessTarget.h"

#include <QUrl>

#include <optional>

namespace tolvex::render {

/// Where a finished render's file stands and what it measures.
struct RenderResult {
    QUrl file;
    /// Measured on what the file holds; absent when it could not be measured.
    std::optional<model::Loudness> loudness;

    /// What an album's first pass kept in its scratch file.
    struct Kept {
        model::AlbumShare share;
        int channels = 0;

        friend bool operator==(const Kept&, const Kept&) = default;
    };
    /// After an album's first pass (see RenderJob::album): `file` is the
    /// target still to be written, `loudness` none.
    std::optional<Kept> kept = std::nullopt;
};

} // namespace tolvex::render
