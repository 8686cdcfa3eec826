#pragma once

#include "bench/preview/ChildProcess.h"

#include <QString>

#include <memory>
#include <vector>

namespace tolvex::bench {

/// A sound server of the bench's own, living in a folder it is given (its
/// HOME and XDG_RUNTIME_DIR), with a null sink as its default sink. The
/// processes are started by the constructor and ended, last started first,
/// by the destructor, also when the constructor fails.
///
/// PulseAudio: `pulseaudio -n` (no configuration) with the native protocol
/// on a socket in the folder, anonymous clients allowed.
///
/// PipeWire: a private D-Bus session bus (`dbus-daemon --session` on a
/// socket in the folder: WirePlumber quits without a session bus, and this
/// machine has none), then `pipewire`, `wireplumber` and `pipewire-pulse`
/// with their packaged configuration. The null sink is loaded through the
/// PulseAudio service (its module-null-sink makes a PipeWire null-audio-sink
/// node, which drives the graph on its own timer); WirePlumber makes it the
/// default once asked.
class PrivateSoundServer {
public:
    enum class Kind { pulseAudio, pipeWire };
    static constexpr const char* sinkName = "tolvex_bench";

    /// Starts the server and returns once it plays into the null sink by
    /// default. Throws std::runtime_error with the end of the server's log.
    PrivateSoundServer(Kind kind, const QString& folder);
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    /// Where clients connect: "unix:<socket>".
    QString address() const { return QStringLiteral("unix:") + m_socket; }
    /// The null sink's monitor, to record what the sink plays.
    static QString monitorName()
    {
        return QString::fromLatin1(sinkName) + QStringLiteral(".monitor");
    }
    /// The server's name and version, as it reports them.
    QString description() const { return m_description; }

private:
    void startPulseAudio();
    void startPipeWire();
    void start(const QString& program, const QStringList& arguments);
    /// Waits until `path` exists, failing if a started process ends first.
    void waitForFile(const QString& path);
    void stopAll();
    [[noreturn]] void fail(const std::string& what);

    QString m_folder;
    QString m_socket;
    QString m_log;
    QString m_description;
    QStringList m_environment;
    std::vector<std::unique_ptr<ChildProcess>> m_processes; ///< in the order started
};

} // namespace tolvex::bench
