#pragma once

#include <QWidget>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tolvex::session {
class Session;
}
namespace tolvex::app {

class MenuCommands;

/// The strip at the bottom of the window: the three export settings of the
/// session (format, destination, suffix), "Abbrechen" while an export runs,
/// and the export button. It keeps no state: every control shows the
/// session's fields and writes to them at once. Its commands are the menu's
/// own actions (export, cancel, the destination's two): enabled, shown and
/// run as the menu has them.
class ExportBar : public QWidget {
    Q_OBJECT

public:
    ExportBar(session::Session& session, MenuCommands& commands, QWidget* parent = nullptr);

    /// "Exportieren" for exactly one item, else "Alle exportieren".
    static QString exportTitle(const session::Session& session);
    /// The destination's label: the chosen folder's name, else "Neben der
    /// Quelldatei".
    static QString destinationText(const session::Session& session);
    static QString destinationToolTip(const session::Session& session);

protected:
    void changeEvent(QEvent* event) override;

private:
    void addFormat(QHBoxLayout* row);
    void addDestination(QHBoxLayout* row);
    void addSuffix(QHBoxLayout* row);
    void addButtons(QHBoxLayout* row);

    void showFormat();
    void showDestination();
    void showSuffix();
    void showExportState();
    void applyColours();

    session::Session& m_session;
    MenuCommands& m_commands;
    QComboBox* m_format = nullptr;
    QToolButton* m_destination = nullptr;
    QLabel* m_suffixLabel = nullptr;
    QLineEdit* m_suffix = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_export = nullptr;
};

} // namespace tolvex::app
