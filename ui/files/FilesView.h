#pragma once

#include "ui/files/FileRowDelegate.h"

#include <QWidget>

#include <memory>

class QLabel;
class QListView;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace tolvex::session {
class Session;
}

namespace tolvex::ui::files {

class DropArea;
class PreviewBar;

/// The files panel: a header with the count and the add and clear buttons,
/// the list of files (or, while it is empty, a hint to drop files here), a
/// drop target for files and folders over the whole list area, a context
/// menu per row, and the preview bar at the bottom. All data lives in the
/// session and the chain; the panel shows it and calls their operations.
class FilesView : public QWidget {
    Q_OBJECT

public:
    FilesView(session::Session& session, tolvex::chain::Chain& chain, QWidget* parent = nullptr);
    ~FilesView() override;

    QListView* list() const { return m_list; }
    PreviewBar* previewBar() const { return m_previewBar; }
    DropArea* dropArea() const { return m_dropArea; }

    /// How files are shown in the file manager; the desktop's file manager
    /// unless replaced (tests do).
    void setRevealFile(RevealFile reveal) { m_reveal = std::move(reveal); }

    /// The context menu of `row`, as a right click on it opens it.
    std::unique_ptr<QMenu> contextMenu(int row);

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildEmptyState();
    void buildList();
    void refresh();
    void refreshColours();
    void openContextMenu(const QPoint& position);

    session::Session& m_session;
    tolvex::chain::Chain& m_chain;
    RevealFile m_reveal;

    QLabel* m_title = nullptr;
    QLabel* m_count = nullptr;
    QToolButton* m_add = nullptr;
    QToolButton* m_clear = nullptr;
    DropArea* m_dropArea = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_waveform = nullptr;
    QLabel* m_hint = nullptr;
    QListView* m_list = nullptr;
    PreviewBar* m_previewBar = nullptr;
};

} // namespace tolvex::ui::files
