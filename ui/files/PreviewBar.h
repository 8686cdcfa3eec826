#pragma once

#include "model/AudioItem.h"

#include <QTimer>
#include <QWidget>

#include <optional>

class QAction;
class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;

namespace tolvex::session {
class Session;
}
namespace tolvex::chain {
class Chain;
}

namespace tolvex::ui::files {

/// The transport under the files list: play/stop (also the space bar) for
/// the preview target, the elapsed time, a position slider that seeks when
/// released, the total time, and the "Original" switch that bypasses the
/// whole chain. The target is the file being previewed, else the topmost
/// selected file, else the first file of the list.
class PreviewBar : public QWidget {
    Q_OBJECT

public:
    PreviewBar(session::Session& session, tolvex::chain::Chain& chain, QWidget* parent = nullptr);

    /// The file the bar acts on, or none for an empty list.
    std::optional<model::AudioItem> previewTarget() const;

    /// The play button's action: stops the target when it plays, else plays
    /// it from the start.
    void togglePreview();

    /// The refresh period of the position row; 200 ms.
    static constexpr int refreshInterval = 200;

protected:
    void changeEvent(QEvent* event) override;

private:
    /// The compare switch in the tint when it is on: the chain is not heard.
    void applyColours();
    /// Sizes "Original" for its checked look.
    void fitOriginal();
    void build();
    /// Re-reads the target and the enabled rules.
    void refresh();
    /// Re-reads the position: the scrub value, the playback or 0.
    void refreshPosition();
    void scrubTo(int milliseconds);
    void seek();

    session::Session& m_session;
    tolvex::chain::Chain& m_chain;
    std::optional<double> m_scrub;
    QTimer m_timer;

    QPushButton* m_play = nullptr;
    QAction* m_playAction = nullptr;
    QStackedWidget* m_middle = nullptr;
    QLabel* m_elapsed = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_total = nullptr;
    QPushButton* m_original = nullptr;
};

} // namespace tolvex::ui::files
