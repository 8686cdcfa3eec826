#pragma once

#include <QTimer>
#include <QWidget>

class QGraphicsOpacityEffect;
class QPropertyAnimation;

namespace tolvex::session {
class Session;
}
namespace tolvex::chain {
class Chain;
}

namespace tolvex::app {

/// The notice laid over the window's content at its bottom centre: the
/// session's toast, else the chain's last error; hidden when there is
/// neither, so that clicks reach the views below. It fades in and out, and a
/// click on it clears both texts. A chain message is cleared after 4 s by its
/// own timer, which restarts whenever the message changes, so a newer
/// message is never cleared by the timer of an older one.
class NoticeLine : public QWidget {
    Q_OBJECT

public:
    /// Distance of the notice's bottom edge from its parent's bottom edge.
    static constexpr int lift = 70;

    /// `parent` is the content the notice lies over.
    NoticeLine(session::Session& session, chain::Chain& chain, QWidget* parent);

    /// How long a chain message stays and how long a fade takes, in
    /// milliseconds: 4000 and 200 unless a test says otherwise.
    void setDurations(int chainMessage, int fade);

    /// The text the notice shows; empty when it shows none.
    QString text() const { return m_text; }
    /// Keeps the notice at the bottom centre of its parent; called on resize.
    void place();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void chainMessageChanged(const QString& message);
    void clearChainMessage();
    void refresh();
    void fadeTo(qreal opacity);
    QRect textRect(int maxWidth) const;

    session::Session& m_session;
    chain::Chain& m_chain;
    QString m_text;
    QString m_shownText; // stays while the notice fades out
    QString m_timedMessage;
    QTimer m_chainTimer;
    int m_fade = 200;
    QGraphicsOpacityEffect* m_opacity;
    QPropertyAnimation* m_animation;
};

} // namespace tolvex::app
