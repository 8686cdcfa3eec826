#pragma once

#include <QByteArray>
#include <QString>

namespace tolvex::host {

/// What describes a recording, as audio files carry it: the texts under the
/// usual tag names and an embedded cover picture. An empty text or an empty
/// cover is a tag the file does not have.
struct AudioTags {
    QString title;
    QString artist;
    QString album;
    QString track; ///< as the file gives it: "3" or "3/12"
    QString date;
    QString genre;
    QString comment;
    QByteArray cover; ///< the picture's file bytes, JPEG or PNG

    friend bool operator==(const AudioTags&, const AudioTags&) = default;
};

} // namespace tolvex::host
