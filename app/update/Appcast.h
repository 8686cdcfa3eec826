#pragma once

#include "app/update/AppcastItem.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace tolvex::app {

/// Reads an update feed in the appcast format: an RSS 2.0 document whose items
/// carry a version (the Sparkle attributes on the enclosure or elements in the
/// item), a title, release notes, a publication date and a download link.
class Appcast {
public:
    enum class Error { None, Malformed, NotAFeed, NoItems, NoUsableItem };

    struct Result {
        std::optional<AppcastItem> newest; // set exactly when error is None
        Error error = Error::None;
        QString message; // German, for the user; empty when error is None
    };

    /// The item with the highest version among those that carry a readable
    /// version and an http or https download link, or why there is none.
    /// Relative links resolve against `base`, the feed's own address.
    /// Items meant for another operating system (sparkle:os) are skipped.
    /// Pure: reads nothing but `feed`; ties go to the earlier item.
    static Result newest(const QByteArray& feed, const QUrl& base = {});
};

} // namespace tolvex::app
