#include "tests/support/soundserver/PrivateSoundServer.h"

#include "tests/support/soundserver/Interruption.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace tolvex::testing {

using namespace std::chrono_literals;

namespace {

constexpr auto patience = 30s; ///< for each step of the start, on a loaded machine

/// The bench's environment for the server's processes: the folder as their
/// home and runtime folder, and nothing that points at the desktop's own
/// sound server, bus or configuration.
QStringList serverEnvironment(const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"PULSE_SERVER", "PULSE_COOKIE", "PULSE_RUNTIME_PATH", "PIPEWIRE_REMOTE",
          "PIPEWIRE_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
          "XDG_DATA_HOME", "XDG_CACHE_HOME", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("HOME"), folder);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);
    return environment.toStringList();
}

} // namespace

PrivateSoundServer::PrivateSoundServer(Kind kind, const QString& folder)
    : m_kind(kind), m_folder(folder), m_log(folder + QStringLiteral("/server.log")),
      m_environment(serverEnvironment(folder))
{
    try {
        if (kind == Kind::pulseAudio)
            startPulseAudio();
        else
            startPipeWire();
        m_control = std::make_unique<ServerControl>(address(), patience);
        const QString sink = QStringLiteral("sink_name=") + QString::fromLatin1(sinkName) +
                             QStringLiteral(" rate=48000 channels=2");
        if (kind == Kind::pulseAudio) {
            m_control->loadModule(QStringLiteral("module-null-sink"), sink);
            m_control->loadModule(QStringLiteral("module-suspend-on-idle"),
                                  QStringLiteral("timeout=1"));
        } else {
            m_control->loadModule(
                QStringLiteral("module-null-sink"),
                sink + QStringLiteral(" sink_properties=session.suspend-timeout-seconds=1"));
        }
        m_control->makeDefaultSink(QString::fromLatin1(sinkName), patience);
        m_description = m_control->serverName();
    } catch (const std::exception& error) {
        fail(error.what());
    }
}

PrivateSoundServer::~PrivateSoundServer()
{
    stopAll();
}

void PrivateSoundServer::pointClientsHere(bool nativePipeWire) const
{
    qputenv("PULSE_SERVER", address().toUtf8());
    const bool native = nativePipeWire && m_kind == Kind::pipeWire;
    qputenv("PIPEWIRE_REMOTE",
            (m_folder + (native ? QStringLiteral("/pipewire-0") : QStringLiteral("/no-pipewire")))
                .toUtf8());
}

void PrivateSoundServer::waitUntilAsleep(int streams)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (m_control->playbackStreams() < streams ||
           !m_control->sinkAsleep(QString::fromLatin1(sinkName))) {
        throwIfInterrupted();
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("the server does not put its sink to sleep");
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(20ms);
    }
}

void PrivateSoundServer::stopAll()
{
    m_control.reset();
    while (!m_processes.empty())
        m_processes.pop_back();
}

void PrivateSoundServer::fail(const std::string& what)
{
    stopAll();
    QFile log(m_log);
    QByteArray tail;
    if (log.open(QIODevice::ReadOnly))
        tail = log.readAll().right(3000);
    throw std::runtime_error(what + "\n--- the server's log ---\n" + tail.toStdString());
}

void PrivateSoundServer::start(const QString& program, const QStringList& arguments)
{
    m_processes.push_back(std::make_unique<ChildProcess>(program, arguments, m_environment, m_log));
}

void PrivateSoundServer::waitForFile(const QString& path)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!QFileInfo::exists(path)) {
        throwIfInterrupted();
        for (const auto& process : m_processes)
            if (!process->running())
                throw std::runtime_error(process->name().toStdString() + " ended at its start");
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("no " + path.toStdString() + " after 30 s");
        std::this_thread::sleep_for(20ms);
    }
}

void PrivateSoundServer::startPulseAudio()
{
    m_socket = m_folder + QStringLiteral("/pulse-native");
    start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
         QStringLiteral("--log-level=error"),
         QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + m_socket});
    waitForFile(m_socket);
}

void PrivateSoundServer::startPipeWire()
{
    const QString bus = m_folder + QStringLiteral("/bus");
    start(QStringLiteral("dbus-daemon"),
          {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
           QStringLiteral("--address=unix:path=") + bus});
    waitForFile(bus);
    m_environment.append(QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") + bus);
    start(QStringLiteral("pipewire"), {});
    waitForFile(m_folder + QStringLiteral("/pipewire-0"));
    start(QStringLiteral("wireplumber"), {});
    m_socket = m_folder + QStringLiteral("/pulse/native");
    start(QStringLiteral("pipewire-pulse"), {});
    waitForFile(m_socket);
}

} // namespace tolvex::testing
