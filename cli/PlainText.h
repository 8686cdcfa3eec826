#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tolvex::cli {

/// `text` safe for a terminal and for readers that split lines: a control
/// character (C0, DEL) is written as "\n", "\t", "\r" or "\x1b", a C1 control
/// as "\u009b", a byte of a file name that is not UTF-8 (see
/// session/FileNames.h) as "\xff", another lone surrogate as "\udc00", and a
/// backslash as "\\", so that every escape reads one way. Everything else
/// stays as it is.
QString printable(QStringView text);

/// printable(text) as UTF-8.
QByteArray printableUtf8(QStringView text);

} // namespace tolvex::cli
