#include "app/update/ReleaseNotes.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <algorithm>
#include <vector>

namespace tolvex::app {

namespace {

/// A document that loads nothing: no image, style sheet or file, local or remote.
class InertDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

bool isWebLink(const QString& href)
{
    const QString scheme = QUrl(href).scheme();
    return scheme == QLatin1String("https") || scheme == QLatin1String("http");
}

/// Emphasis, fixed pitch, heading steps and web links; nothing else.
QTextCharFormat cleaned(const QTextCharFormat& format)
{
    QTextCharFormat clean;
    if (format.fontWeight() > QFont::Normal)
        clean.setFontWeight(QFont::Bold);
    clean.setFontItalic(format.fontItalic());
    clean.setFontUnderline(format.fontUnderline());
    clean.setFontStrikeOut(format.fontStrikeOut());
    if (format.fontFixedPitch())
        clean.setFontFixedPitch(true);
    const int step = format.intProperty(QTextFormat::FontSizeAdjustment);
    clean.setProperty(QTextFormat::FontSizeAdjustment, std::clamp(step, -1, 2));
    if (format.isAnchor() && isWebLink(format.anchorHref())) {
        clean.setAnchor(true);
        clean.setAnchorHref(format.anchorHref());
        clean.setFontUnderline(true);
        clean.setForeground(QGuiApplication::palette().link());
    }
    return clean;
}

struct Run {
    int position;
    int length;
    QTextCharFormat format;
};

void clean(QTextDocument& document)
{
    std::vector<Run> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        blockFormat.clearBackground();
        cursor.setBlockFormat(blockFormat);
        for (auto it = block.begin(); !it.atEnd(); ++it)
            runs.push_back(
                {it.fragment().position(), it.fragment().length(), it.fragment().charFormat()});
    }
    // From the end, so that removing an image keeps earlier positions valid.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        QTextCursor cursor(&document);
        cursor.setPosition(run->position);
        cursor.setPosition(run->position + run->length, QTextCursor::KeepAnchor);
        if (run->format.isImageFormat())
            cursor.removeSelectedText();
        else
            cursor.setCharFormat(cleaned(run->format));
    }
    QTextFrameFormat root = document.rootFrame()->frameFormat();
    root.clearBackground();
    root.clearProperty(QTextFormat::BackgroundImageUrl);
    document.rootFrame()->setFrameFormat(root);
}

} // namespace

QTextDocument* ReleaseNotes::document(const QString& notes, AppcastItem::NotesFormat format,
                                      QObject* parent)
{
    auto* document = new InertDocument(parent);
    switch (format) {
    case AppcastItem::NotesFormat::Markdown:
        document->setMarkdown(notes, QTextDocument::MarkdownDialectGitHub);
        break;
    case AppcastItem::NotesFormat::Html:
        if (Qt::mightBeRichText(notes)) {
            document->setHtml(notes);
            break;
        }
        [[fallthrough]];
    case AppcastItem::NotesFormat::PlainText:
        document->setPlainText(notes);
        break;
    }
    clean(*document);
    return document;
}

} // namespace tolvex::app
