#pragma once

#include <QWidget>

namespace tolvex::session {
class Session;
}
namespace tolvex::chain {
class Chain;
}
namespace tolvex::ui {
class ChainCommands;
}

namespace tolvex::app {

class ExportBar;
class MenuCommands;
class NoticeLine;

/// The main window's content: the files panel, a divider and the chain
/// panel side by side, a divider, and the export bar below them, with the
/// notice line laid over them. Stands on the text-background colour, tinted
/// with the window's tint.
class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int chainPanelWidth = 310;
    static constexpr QSize minimumContentSize{820, 500};

    ContentView(session::Session& session, chain::Chain& chain, ui::ChainCommands& chainCommands,
                MenuCommands& commands, QWidget* parent = nullptr);

    NoticeLine& notice() const { return *m_notice; }
    ExportBar& exportBar() const { return *m_exportBar; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyTint();

    ExportBar* m_exportBar;
    NoticeLine* m_notice;
};

} // namespace tolvex::app
