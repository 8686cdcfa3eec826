#pragma once

#include <QList>
#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace tolvex::cli {

/// Turns SIGINT (Ctrl+C) and SIGTERM into a Qt signal on the main thread,
/// through a pipe the handler writes one byte to, so that the export can be
/// cancelled cleanly instead of dying with half-written files. One instance
/// per process; the handlers stay installed until it is destroyed.
class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    /// One of the signals arrived; emitted on the main thread.
    void received(int signalNumber);

private:
    void readPipe();

    QList<int> m_signals;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tolvex::cli
