#include "app/update/Appcast.h"

#include <QXmlStreamReader>

namespace tolvex::app {

namespace {

const QString sparkleNs = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

/// An item as read, before it is judged usable.
struct RawItem {
    QString version;
    QString shortVersion;
    QString title;
    QString notes;
    QString notesFormat;
    QString notesLink;
    QString published;
    QString link;
    QString enclosureUrl;
};

bool isSparkle(const QXmlStreamReader& xml, QLatin1String name)
{
    return xml.namespaceUri() == sparkleNs && xml.name() == name;
}

bool isPlain(const QXmlStreamReader& xml, QLatin1String name)
{
    return xml.namespaceUri().isEmpty() && xml.name() == name;
}

/// Takes the first enclosure meant for this system (no sparkle:os, or "linux").
void readEnclosure(const QXmlStreamReader& xml, RawItem& item)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    const QStringView os = attributes.value(sparkleNs, QLatin1String("os"));
    if (!item.enclosureUrl.isEmpty() ||
        (!os.isEmpty() && os.compare(QLatin1String("linux"), Qt::CaseInsensitive) != 0))
        return;
    item.enclosureUrl = attributes.value(QLatin1String("url")).trimmed().toString();
    if (item.enclosureUrl.isEmpty())
        return;
    if (const auto version = attributes.value(sparkleNs, QLatin1String("version"));
        !version.isEmpty())
        item.version = version.toString();
    if (const auto short_ = attributes.value(sparkleNs, QLatin1String("shortVersionString"));
        !short_.isEmpty())
        item.shortVersion = short_.toString();
}

/// Reads one <item>; the reader stands on its start and ends on its end.
RawItem readItem(QXmlStreamReader& xml)
{
    RawItem item;
    QString elementVersion;
    QString elementShortVersion;
    while (xml.readNextStartElement()) {
        if (isPlain(xml, QLatin1String("title"))) {
            item.title = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isPlain(xml, QLatin1String("description"))) {
            item.notesFormat =
                xml.attributes().value(sparkleNs, QLatin1String("format")).toString();
            item.notes = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isPlain(xml, QLatin1String("pubDate"))) {
            item.published = xml.readElementText().trimmed();
        } else if (isPlain(xml, QLatin1String("link"))) {
            item.link = xml.readElementText().trimmed();
        } else if (isPlain(xml, QLatin1String("enclosure"))) {
            readEnclosure(xml, item);
            xml.skipCurrentElement();
        } else if (isSparkle(xml, QLatin1String("version"))) {
            elementVersion = xml.readElementText().trimmed();
        } else if (isSparkle(xml, QLatin1String("shortVersionString"))) {
            elementShortVersion = xml.readElementText().trimmed();
        } else if (isSparkle(xml, QLatin1String("releaseNotesLink"))) {
            item.notesLink = xml.readElementText().trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    // The enclosure's attributes are the older form; elements in the item win.
    if (!elementVersion.isEmpty())
        item.version = elementVersion;
    if (!elementShortVersion.isEmpty())
        item.shortVersion = elementShortVersion;
    return item;
}

/// An http or https address, resolved against the feed's; empty otherwise.
QUrl webUrl(const QString& text, const QUrl& base)
{
    if (text.isEmpty())
        return {};
    QUrl url(text, QUrl::StrictMode);
    if (url.isRelative() && base.isValid())
        url = base.resolved(url);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return {};
    return url;
}

AppcastItem::NotesFormat notesFormat(const QString& declared)
{
    if (declared == QLatin1String("plain-text"))
        return AppcastItem::NotesFormat::PlainText;
    if (declared == QLatin1String("markdown"))
        return AppcastItem::NotesFormat::Markdown;
    return AppcastItem::NotesFormat::Html;
}

std::optional<AppcastItem> usable(const RawItem& raw, const QUrl& base)
{
    const QString& versionText = raw.version.isEmpty() ? raw.shortVersion : raw.version;
    std::optional<Version> version = Version::parse(versionText);
    QUrl download = webUrl(raw.enclosureUrl, base);
    if (download.isEmpty())
        download = webUrl(raw.link, base);
    if (!version || download.isEmpty())
        return std::nullopt;
    AppcastItem item;
    item.version = *version;
    item.displayVersion = raw.shortVersion.isEmpty() ? version->text() : raw.shortVersion;
    item.title = raw.title;
    item.notes = raw.notes;
    item.notesFormat = notesFormat(raw.notesFormat);
    item.notesLink = webUrl(raw.notesLink, base);
    item.published = QDateTime::fromString(raw.published, Qt::RFC2822Date);
    item.download = download;
    return item;
}

Appcast::Result failure(Appcast::Error error, const QString& message)
{
    return {std::nullopt, error, message};
}

} // namespace

Appcast::Result Appcast::newest(const QByteArray& feed, const QUrl& base)
{
    QXmlStreamReader xml(feed);
    if (!xml.readNextStartElement() || !isPlain(xml, QLatin1String("rss"))) {
        if (xml.hasError())
            return failure(Error::Malformed, QStringLiteral("Der Update-Feed ist kein gültiges "
                                                            "XML (Fehler in Zeile %1).")
                                                 .arg(xml.lineNumber()));
        return failure(Error::NotAFeed, QStringLiteral("Der Update-Feed ist kein RSS-Dokument."));
    }
    int items = 0;
    std::optional<AppcastItem> best;
    while (xml.readNextStartElement()) {
        if (!isPlain(xml, QLatin1String("channel"))) {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (!isPlain(xml, QLatin1String("item"))) {
                xml.skipCurrentElement();
                continue;
            }
            ++items;
            std::optional<AppcastItem> item = usable(readItem(xml), base);
            if (item && (!best || item->version > best->version))
                best = std::move(item);
        }
    }
    while (!xml.atEnd()) // whatever follows the document must be well-formed too
        xml.readNext();
    if (xml.hasError())
        return failure(Error::Malformed,
                       QStringLiteral("Der Update-Feed ist kein gültiges XML (Fehler in Zeile %1).")
                           .arg(xml.lineNumber()));
    if (items == 0)
        return failure(Error::NoItems, QStringLiteral("Der Update-Feed nennt keine Version."));
    if (!best)
        return failure(Error::NoUsableItem,
                       QStringLiteral("Der Update-Feed nennt keine Version mit Versionsnummer und "
                                      "Download-Adresse für Linux."));
    return {std::move(best), Error::None, {}};
}

} // namespace tolvex::app
