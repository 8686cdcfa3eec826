#pragma once

#include "app/update/AppcastItem.h"

class QObject;
class QTextDocument;

namespace tolvex::app {

/// Turns the release notes of an update feed into a document that is safe to
/// show: text, paragraphs, headings, lists, tables, emphasis and http(s) links
/// stay; images, colours, fonts, sizes and backgrounds go. The document never
/// loads a resource, neither while reading the notes nor when shown later.
class ReleaseNotes {
public:
    /// HTML notes without markup are read as plain text, keeping their line breaks.
    static QTextDocument* document(const QString& notes, AppcastItem::NotesFormat format,
                                   QObject* parent);
};

} // namespace tolvex::app
