#pragma once

#include "app/update/AppcastItem.h"

#include <QString>

#include <optional>

namespace tolvex::app {

/// How a manual update check ended.
struct UpdateCheckResult {
    enum class Outcome {
        NewerVersion,   // `newest` is newer than the running version
        UpToDate,       // `newest` is not newer
        InvalidAddress, // the feed address is not an https, http or file address
        Unreachable,    // no connection, or the file cannot be read
        HttpError,      // the server answered with a status other than 2xx
        Malformed,      // the feed is not well-formed XML or not RSS
        NoUsableItem,   // the feed names no release with a version and a download link
        TooLarge,       // the feed is larger than the controller accepts
        Timeout,        // the transfer did not finish in time
    };

    Outcome outcome = Outcome::UpToDate;
    QString currentVersion;            // the running version, as shown
    std::optional<AppcastItem> newest; // set for NewerVersion and UpToDate
    QString message;                   // German, why the check failed; empty otherwise

    bool failed() const { return outcome != Outcome::NewerVersion && outcome != Outcome::UpToDate; }
};

} // namespace tolvex::app
