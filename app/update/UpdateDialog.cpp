#include "app/update/UpdateDialog.h"

#include "app/update/ReleaseNotes.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tolvex::app {

namespace {

// Bounds for texts a feed or a server chose, in pixels of their label's font:
// no one of them can make the dialog wider or taller than a screen, whatever
// its length, and the buttons stay in reach.
constexpr int versionWidth = 240; ///< a version, cut in its middle
constexpr int titleWidth = 440;   ///< the notes' title: one line
constexpr int wordWidth = 400;    ///< a word wrapping cannot break
constexpr int messageLines = 6;   ///< a message, of lines about 400 wide

/// `text` with every run without white space wider than wordWidth cut in
/// its middle, and the whole cut to about `lines` lines.
QString bounded(const QString& text, const QFontMetrics& metrics, int lines)
{
    static const QRegularExpression word(QStringLiteral("\\S+"));
    QString result;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& match : word.globalMatch(text)) {
        result += text.mid(done, match.capturedStart() - done);
        result += metrics.elidedText(match.captured(), Qt::ElideMiddle, wordWidth);
        done = match.capturedEnd();
    }
    result += text.mid(done);
    return metrics.elidedText(result, Qt::ElideMiddle, wordWidth * lines);
}

QLabel* textLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setText(bounded(text, label->fontMetrics(), messageLines));
    return label;
}

QLabel* heading(const QString& text, QWidget* parent)
{
    QLabel* label = textLabel(QString(), parent);
    label->setObjectName(QStringLiteral("heading"));
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    label->setFont(font);
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, titleWidth));
    return label;
}

QString headingText(const UpdateCheckResult& result)
{
    switch (result.outcome) {
    case UpdateCheckResult::Outcome::NewerVersion:
        return QStringLiteral("Eine neue Version von Tolvex ist verfügbar.");
    case UpdateCheckResult::Outcome::UpToDate:
        return QStringLiteral("Tolvex ist auf dem neuesten Stand.");
    default:
        return QStringLiteral("Die Suche nach Updates ist fehlgeschlagen.");
    }
}

/// Opens a link of the notes in the browser, for web links only.
void openWebLink(const QUrl& url)
{
    if (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
        QDesktopServices::openUrl(url);
}

} // namespace

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Nach Updates suchen"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_waiting = true;
    QVBoxLayout* column = newPage(false);
    column->addWidget(heading(QStringLiteral("Suche nach Updates …"), m_page));
    auto* busy = new QProgressBar(m_page);
    busy->setObjectName(QStringLiteral("busy"));
    busy->setRange(0, 0); // no end known: the bar runs to and fro
    busy->setTextVisible(false);
    busy->setMinimumWidth(360);
    column->addWidget(busy);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, m_page);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

UpdateDialog::UpdateDialog(const UpdateCheckResult& result, QWidget* parent) : UpdateDialog(parent)
{
    showResult(result);
}

QVBoxLayout* UpdateDialog::newPage(bool warning)
{
    if (m_page) { // hidden first: its buttons give up the focus and the default
        m_page->hide();
        m_page->setParent(nullptr);
        m_page->deleteLater();
    }
    m_page = new QWidget(this);
    layout()->addWidget(m_page);
    auto* outer = new QHBoxLayout(m_page);
    outer->setSpacing(16);
    auto* icon = new QLabel(m_page);
    const int extent = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()
                        ->standardIcon(warning ? QStyle::SP_MessageBoxWarning
                                               : QStyle::SP_MessageBoxInformation,
                                       nullptr, this)
                        .pixmap(extent, extent));
    outer->addWidget(icon, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    outer->addLayout(column, 1);
    return column;
}

void UpdateDialog::showResult(const UpdateCheckResult& result)
{
    m_waiting = false;
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint); // the notes may grow
    QVBoxLayout* column = newPage(result.failed());
    column->addWidget(heading(headingText(result), m_page));
    if (result.outcome == UpdateCheckResult::Outcome::NewerVersion && result.newest)
        addNewerVersion(column, *result.newest, result.currentVersion);
    else
        addMessage(column, result);
    m_page->show();
}

void UpdateDialog::addMessage(QVBoxLayout* column, const UpdateCheckResult& result)
{
    const QString text =
        result.outcome == UpdateCheckResult::Outcome::UpToDate
            ? QStringLiteral("Sie verwenden Version %1, die neueste verfügbare Version.")
                  .arg(result.currentVersion)
            : result.message;
    QLabel* label = textLabel(text, this);
    label->setMinimumWidth(360); // wraps long messages at a readable width
    column->addWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    column->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void UpdateDialog::addNewerVersion(QVBoxLayout* column, const AppcastItem& item,
                                   const QString& currentVersion)
{
    const QString version =
        fontMetrics().elidedText(item.displayVersion, Qt::ElideMiddle, versionWidth);
    QString text = QStringLiteral("Tolvex %1 ist erschienen – Sie verwenden Version %2.")
                       .arg(version, currentVersion);
    if (item.published.isValid())
        text += QStringLiteral(" Veröffentlicht am %1.")
                    .arg(QLocale(QLocale::German)
                             .toString(item.published.toLocalTime().date(),
                                       QStringLiteral("d. MMMM yyyy")));
    column->addWidget(textLabel(text, this));

    if (!item.notes.isEmpty()) {
        column->addWidget(
            heading(item.title.isEmpty() ? QStringLiteral("Versionshinweise") : item.title, this));
        auto* notes = new QTextBrowser(this);
        notes->setObjectName(QStringLiteral("notes"));
        notes->setOpenLinks(false);
        notes->setDocument(ReleaseNotes::document(item.notes, item.notesFormat, notes));
        notes->setMinimumSize(440, 200);
        connect(notes, &QTextBrowser::anchorClicked, this, &openWebLink);
        column->addWidget(notes, 1);
    }
    if (item.notesLink.isValid()) {
        auto* link = new QLabel(this);
        link->setTextFormat(Qt::RichText);
        link->setText(QStringLiteral("<a href=\"%1\">Versionshinweise im Browser öffnen</a>")
                          .arg(item.notesLink.toString(QUrl::FullyEncoded).toHtmlEscaped()));
        connect(link, &QLabel::linkActivated, this,
                [](const QString& href) { openWebLink(QUrl(href)); });
        column->addWidget(link);
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* download =
        buttons->addButton(QStringLiteral("Herunterladen"), QDialogButtonBox::AcceptRole);
    download->setObjectName(QStringLiteral("download"));
    download->setDefault(true);
    buttons->addButton(QStringLiteral("Später"), QDialogButtonBox::RejectRole);
    const QUrl url = item.download;
    connect(buttons, &QDialogButtonBox::accepted, this, [this, url] {
        openWebLink(url);
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

} // namespace tolvex::app
