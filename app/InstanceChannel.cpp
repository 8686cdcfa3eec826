#include "app/InstanceChannel.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace tolvex::app {

namespace {

constexpr int answerTime = 3000; // ms: a running instance answers at once

/// The one byte the running instance sends back when it has the paths.
constexpr char received = '\x06';

} // namespace

InstanceChannel::InstanceChannel(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder)
{}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::defaultFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

bool InstanceChannel::isListening() const
{
    return m_server && m_server->isListening();
}

bool InstanceChannel::handOverOrListen(const QStringList& paths)
{
    QDir().mkpath(m_folder);
    QLockFile lock(m_folder + QStringLiteral("/tolvex-instance.lock"));
    // Held for a moment only; a lock left by a start that crashed holding it
    // is stale as soon as its process is gone, or after the answer times.
    lock.setStaleLockTime(3 * answerTime);
    lock.tryLock(3 * answerTime); // without it (an unwritable folder) the socket still decides
    if (handOver(paths))
        return true;
    listen();
    return false;
}

bool InstanceChannel::handOver(const QStringList& paths) const
{
    QLocalSocket socket;
    socket.connectToServer(m_folder + QStringLiteral("/tolvex-instance"));
    if (!socket.waitForConnected(answerTime))
        return false;
    QByteArray message;
    {
        QDataStream list(&message, QIODevice::WriteOnly);
        list << paths;
    }
    QDataStream out(&socket);
    out << message;
    if (!socket.waitForBytesWritten(answerTime))
        return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(answerTime))
            return false;
    char answer = 0;
    return socket.getChar(&answer) && answer == received;
}

void InstanceChannel::listen()
{
    const QString name = m_folder + QStringLiteral("/tolvex-instance");
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered on it: what is there is left from a run that ended.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return;
    connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::receive);
}

void InstanceChannel::receive()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(*socket); });
        if (socket->bytesAvailable() > 0)
            read(*socket);
    }
}

void InstanceChannel::read(QLocalSocket& socket)
{
    QDataStream stream(&socket);
    stream.startTransaction();
    QByteArray message;
    stream >> message;
    if (!stream.commitTransaction())
        return; // more to come
    QStringList paths;
    QDataStream list(message);
    list >> paths;
    socket.putChar(received);
    socket.flush();
    Q_EMIT pathsArrived(paths);
}

} // namespace tolvex::app
