#pragma once

#include <QList>
#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace tolvex::session {

/// Turns the termination signals (SIGTERM from the desktop session or
/// `kill`, SIGINT from the terminal) into a Qt signal on the thread that
/// made the object, through a pipe the handler writes one byte to. Both the
/// window and the command line end their run on it. One instance per
/// process; the handlers stay installed until it is destroyed. Made first
/// thing in main, so that a signal during a long start (a chain loading)
/// ends the run in order rather than by the default action.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~QuitSignals() override;

    /// Whether one of the signals has arrived since the object was made.
    /// Reads what the handler has written meanwhile first, emitting
    /// `received` for it, for a thread that has been busy outside its event
    /// loop. Call it on the thread that made the object.
    bool arrived();

Q_SIGNALS:
    /// One of the signals arrived; emitted on the thread that made the object.
    void received(int signalNumber);

private:
    void readPipe();

    QList<int> m_signals;
    bool m_arrived = false;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tolvex::session
