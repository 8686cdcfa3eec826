#include "session/FileNames.h"

namespace tolvex::session {

namespace {

constexpr char16_t escapeBase = 0xDC00; // + the byte, 0x80…0xFF

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

/// The length of the valid UTF-8 character that starts `bytes`, or 0: no
/// overlong forms, no surrogates, nothing above U+10FFFF.
qsizetype characterLength(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = at(0);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80; // the range of the second byte
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i)
        if (!isContinuation(at(i)))
            return 0;
    return length;
}

bool isEscapedByte(QStringView text, qsizetype i)
{
    const char16_t unit = text[i].unicode();
    const bool paired = i > 0 && text[i - 1].isHighSurrogate();
    return unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF && !paired;
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype runStart = 0;
    qsizetype i = 0;
    const auto flushRun = [&] { text += QString::fromUtf8(bytes.sliced(runStart, i - runStart)); };
    while (i < bytes.size()) {
        if (const qsizetype length = characterLength(bytes.sliced(i))) {
            i += length;
            continue;
        }
        flushRun();
        text += QChar(char16_t(escapeBase + uchar(bytes[i])));
        runStart = ++i;
    }
    flushRun();
    return text;
}

QByteArray encodeFileName(QStringView name)
{
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscapedByte(name, i))
            continue;
        bytes += name.sliced(runStart, i - runStart).toUtf8();
        bytes += char(name[i].unicode() - escapeBase);
        runStart = i + 1;
    }
    bytes += name.sliced(runStart).toUtf8();
    return bytes;
}

bool hasUndecodableBytes(QStringView name)
{
    for (qsizetype i = 0; i < name.size(); ++i)
        if (isEscapedByte(name, i))
            return true;
    return false;
}

QString localPath(const QUrl& url)
{
    const QString path = url.toLocalFile();
    if (!path.contains(QChar::ReplacementCharacter) || !url.host().isEmpty())
        return path;
    return decodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace tolvex::session
