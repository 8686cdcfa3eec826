#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUrl>

namespace tolvex::session {

// A file name on Linux is bytes. Qt decodes them as UTF-8 and replaces
// what is not UTF-8, after which the name no longer finds its file; its
// folder listing skips such names altogether. These functions keep every
// byte instead: a byte that is not part of a valid UTF-8 character stands
// in the text as the lone surrogate U+DC80 + byte (0x80…0xFF), as Python's
// "surrogateescape" does. Such a text finds its file only through
// encodeFileName; Tolvex reports it rather than opening it, since every
// path below the session is text.

/// The name or path `bytes`, every byte kept (see above).
QString decodeFileName(QByteArrayView bytes);
/// The bytes decodeFileName read the text from: UTF-8, each escaped byte
/// written back as it was.
QByteArray encodeFileName(QStringView name);
/// Whether `name` holds a byte that is not part of valid UTF-8.
bool hasUndecodableBytes(QStringView name);
/// The local path of a file URL with its bytes kept: a dropped file's URL
/// percent-encodes them.
QString localPath(const QUrl& url);

} // namespace tolvex::session
