#pragma once

#include "app/update/Version.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

namespace tolvex::app {

/// One release announced by an update feed.
struct AppcastItem {
    Version version;        // compared with the running version
    QString displayVersion; // shown to the user: the short version string, else the version
    QString title;          // the item's title; may be empty
    QString notes;          // release notes as the feed wrote them; may be empty
    enum class NotesFormat { Html, PlainText, Markdown } notesFormat = NotesFormat::Html;
    QUrl notesLink;      // release notes on the web (http or https); may be empty
    QDateTime published; // invalid when the feed gave no readable date
    QUrl download;       // where to get the release: always http or https
};

} // namespace tolvex::app
