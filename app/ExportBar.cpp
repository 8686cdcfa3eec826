#include "app/ExportBar.h"

#include "app/DestinationButton.h"
#include "app/MenuCommands.h"
#include "model/ExportFormat.h"
#include "session/Session.h"
#include "ui/Palette.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace tolvex::app {

ExportBar::ExportBar(session::Session& session, MenuCommands& commands, QWidget* parent)
    : QWidget(parent), m_session(session), m_commands(commands)
{
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(14);
    addFormat(row);
    addDestination(row);
    addSuffix(row);
    row->addStretch(1);
    addButtons(row);

    using session::Session;
    connect(&session, &Session::formatChanged, this, &ExportBar::showFormat);
    connect(&session, &Session::folderPathChanged, this, &ExportBar::showDestination);
    connect(&session, &Session::suffixChanged, this, &ExportBar::showSuffix);
    connect(&session.files(), &session::FileList::countChanged, this, &ExportBar::showExportState);
    connect(commands.exportAll(), &QAction::changed, this, &ExportBar::showExportState);
    connect(commands.cancelExport(), &QAction::changed, this, &ExportBar::showExportState);
    showFormat();
    showDestination();
    showSuffix();
    showExportState();
    applyColours();
}

QString ExportBar::exportTitle(const session::Session& session)
{
    return session.items().size() == 1 ? QStringLiteral("Exportieren")
                                       : QStringLiteral("Alle exportieren");
}

QString ExportBar::destinationText(const session::Session& session)
{
    const auto folder = session.folder();
    if (!folder)
        return QStringLiteral("Neben der Quelldatei");
    const QString path = folder->toLocalFile();
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name; // the root folder has no name of its own
}

QString ExportBar::destinationToolTip(const session::Session& session)
{
    const auto folder = session.folder();
    return folder
               ? folder->toLocalFile()
               : QStringLiteral("Die bearbeitete Datei landet im selben Ordner wie das Original.");
}

void ExportBar::addFormat(QHBoxLayout* row)
{
    // The picker's items name themselves; "Format" is its accessible title.
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("format"));
    m_format->setAccessibleName(QStringLiteral("Format"));
    m_format->setToolTip(QStringLiteral("Format"));
    m_format->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_format->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed); // its natural size
    for (model::ExportFormat format : model::allExportFormats)
        m_format->addItem(model::label(format));
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        m_session.setFormat(model::allExportFormats[std::size_t(index)]);
    });
    row->addWidget(m_format);
}

void ExportBar::addDestination(QHBoxLayout* row)
{
    m_destination = new DestinationButton(this);
    m_destination->setObjectName(QStringLiteral("destination"));
    m_destination->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_destination->setPopupMode(QToolButton::InstantPopup);
    m_destination->setIcon(
        QIcon::fromTheme(QStringLiteral("folder"), style()->standardIcon(QStyle::SP_DirIcon)));
    auto* menu = new QMenu(m_destination);
    menu->addActions({m_commands.nextToSource(), m_commands.pickFolder()});
    m_destination->setMenu(menu);
    row->addWidget(m_destination);
}

void ExportBar::addSuffix(QHBoxLayout* row)
{
    m_suffixLabel = new QLabel(QStringLiteral("Endung"), this);
    m_suffix = new QLineEdit(this);
    m_suffix->setObjectName(QStringLiteral("suffix"));
    m_suffix->setFixedWidth(120);
    m_suffixLabel->setBuddy(m_suffix);
    // Every edit goes to the setting at once; there is no commit step.
    connect(m_suffix, &QLineEdit::textEdited, &m_session, &session::Session::setSuffix);
    auto* group = new QHBoxLayout;
    group->setSpacing(6);
    group->addWidget(m_suffixLabel);
    group->addWidget(m_suffix);
    row->addLayout(group);
}

void ExportBar::addButtons(QHBoxLayout* row)
{
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    connect(m_cancel, &QPushButton::clicked, m_commands.cancelExport(), &QAction::trigger);
    m_export = new QPushButton(this);
    m_export->setObjectName(QStringLiteral("export"));
    m_export->setMinimumWidth(130 + 2 * 14); // the title area, and the padding around it
    connect(m_export, &QPushButton::clicked, m_commands.exportAll(), &QAction::trigger);
    row->addWidget(m_cancel);
    row->addWidget(m_export);
}

void ExportBar::showFormat()
{
    const auto& formats = model::allExportFormats;
    const auto found = std::find(formats.begin(), formats.end(), m_session.format());
    m_format->setCurrentIndex(int(found - formats.begin()));
}

void ExportBar::showDestination()
{
    m_destination->setText(destinationText(m_session));
    m_destination->setToolTip(destinationToolTip(m_session));
}

void ExportBar::showSuffix()
{
    // Only a change from elsewhere is copied in: while the user types, the
    // texts agree and the cursor stays where it is.
    const QString suffix = m_session.suffix();
    if (m_suffix->text() != suffix)
        m_suffix->setText(suffix);
}

void ExportBar::showExportState()
{
    m_export->setText(exportTitle(m_session));
    m_export->setEnabled(m_commands.exportAll()->isEnabled());
    m_cancel->setVisible(m_commands.cancelExport()->isEnabled());
}

void ExportBar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_export)
        applyColours();
}

void ExportBar::applyColours()
{
    using ui::Palette;
    const QPalette& colours = palette();
    Palette::setTextColour(*m_suffixLabel, Palette::colour(Palette::Colour::muted, colours));

    const QColor tint = Palette::colour(Palette::Colour::tint, colours);
    QColor idle = tint;
    idle.setAlphaF(0.45f);
    m_export->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: 1px solid %1;"
                       " border-radius: 6px; padding: 6px 14px; font-weight: 600; }"
                       "QPushButton:hover { background: %2; }"
                       "QPushButton:pressed { background: %3; }"
                       "QPushButton:focus { border: 1px solid %4; }"
                       "QPushButton:disabled { background: %5; border-color: transparent;"
                       " color: rgba(255, 255, 255, 170); }")
            .arg(tint.name(), tint.lighter(112).name(), tint.darker(115).name(),
                 tint.lighter(160).name(), idle.name(QColor::HexArgb)));
}

} // namespace tolvex::app
