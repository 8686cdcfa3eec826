#include "cli/PlainText.h"

namespace tolvex::cli {

namespace {

QString hex(char16_t value, int digits)
{
    return QString::number(value, 16).rightJustified(digits, u'0');
}

/// The escape for one code unit of `text` at `i`, or nothing when it stays.
QString escapeOf(QStringView text, qsizetype i)
{
    const char16_t unit = text[i].unicode();
    switch (unit) {
    case u'\\':
        return QStringLiteral("\\\\");
    case u'\n':
        return QStringLiteral("\\n");
    case u'\t':
        return QStringLiteral("\\t");
    case u'\r':
        return QStringLiteral("\\r");
    default:
        break;
    }
    if (unit < 0x20 || unit == 0x7F)
        return QStringLiteral("\\x") + hex(unit, 2);
    if (unit >= 0x80 && unit <= 0x9F)
        return QStringLiteral("\\u") + hex(unit, 4);
    const bool high = QChar::isHighSurrogate(unit);
    const bool low = QChar::isLowSurrogate(unit);
    const bool pairedHigh = high && i + 1 < text.size() && text[i + 1].isLowSurrogate();
    const bool pairedLow = low && i > 0 && text[i - 1].isHighSurrogate();
    if ((high && !pairedHigh) || (low && !pairedLow)) {
        if (unit >= 0xDC80 && unit <= 0xDCFF) // a stray byte of a file name
            return QStringLiteral("\\x") + hex(unit - 0xDC00, 2);
        return QStringLiteral("\\u") + hex(unit, 4);
    }
    return {};
}

} // namespace

QString printable(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QString escape = escapeOf(text, i);
        if (escape.isNull())
            result += text[i];
        else
            result += escape;
    }
    return result;
}

QByteArray printableUtf8(QStringView text)
{
    return printable(text).toUtf8();
}

} // namespace tolvex::cli
