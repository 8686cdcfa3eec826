#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace tolvex::app {

/// One Tolvex per user session. The first start listens on a local socket
/// in the user's runtime folder; a later start (a file opened with Tolvex
/// from the file manager, say) hands its paths to it and ends, and the
/// running window adds them.
///
/// A start that finds no one listening takes the socket over, also from a
/// run that crashed; two starts at once decide under a lock file which of
/// them listens.
class InstanceChannel : public QObject {
    Q_OBJECT

public:
    /// The socket and lock in `folder`, by default the user's runtime folder.
    explicit InstanceChannel(const QString& folder = defaultFolder(), QObject* parent = nullptr);
    ~InstanceChannel() override;

    static QString defaultFolder();

    /// Hands `paths` (absolute) to the running instance and waits until it
    /// has them; else starts listening. True when they were handed over:
    /// this start ends. False also when this start cannot listen (it then
    /// runs on its own).
    bool handOverOrListen(const QStringList& paths);

    /// Whether this start is the one that listens.
    bool isListening() const;

Q_SIGNALS:
    /// A later start's paths, in its order; empty when it named none.
    void pathsArrived(const QStringList& paths);

private:
    bool handOver(const QStringList& paths) const;
    void listen();
    void receive();
    void read(QLocalSocket& socket);

    QString m_folder;
    QLocalServer* m_server = nullptr;
};

} // namespace tolvex::app
