#pragma once

#include "tests/support/soundserver/ChildProcess.h"
#include "tests/support/soundserver/ServerControl.h"

#include <QString>

#include <memory>
#include <vector>

namespace tolvex::testing {

/// A sound server of a test's or the bench's own, living in a folder it is given (its
/// HOME and XDG_RUNTIME_DIR), with a null sink as its default sink. The
/// processes are started by the constructor and ended, last started first,
/// by the destructor, also when the constructor fails.
///
/// Both put the sink to sleep after a second without sound, as a desktop's
/// server does (after five seconds there).
///
/// PulseAudio: `pulseaudio -n` (no configuration) with the native protocol
/// on a socket in the folder, anonymous clients allowed; module-null-sink
/// and module-suspend-on-idle (timeout 1 s) loaded through the protocol.
///
/// PipeWire: a private D-Bus session bus (`dbus-daemon --session` on a
/// socket in the folder: WirePlumber quits without a session bus, and this
/// machine has none), then `pipewire`, `wireplumber` and `pipewire-pulse`
/// with their packaged configuration. The null sink is loaded through the
/// PulseAudio service (its module-null-sink makes a PipeWire null-audio-sink
/// node, which drives the graph on its own timer), with the node property
/// session.suspend-timeout-seconds=1 for WirePlumber, which makes it the
/// default once asked.
class PrivateSoundServer {
public:
    enum class Kind { pulseAudio, pipeWire };
    static constexpr const char* sinkName = "tolvex_null";

    /// Starts the server and returns once it plays into the null sink by
    /// default. Throws std::runtime_error with the end of the server's log.
    PrivateSoundServer(Kind kind, const QString& folder);
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer&) = delete;
    PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

    Kind kind() const { return m_kind; }
    /// Where clients of the PulseAudio protocol connect: "unix:<socket>".
    QString address() const { return QStringLiteral("unix:") + m_socket; }
    /// Points this process's sound clients at the server (PULSE_SERVER,
    /// PIPEWIRE_REMOTE). PipeWire's own protocol is pointed at its socket
    /// when `nativePipeWire` and the server is PipeWire, else at a socket
    /// that is not there, so that neither the PipeWire of the desktop nor
    /// the server's native side answers.
    void pointClientsHere(bool nativePipeWire = true) const;
    /// The null sink's monitor, to record what the sink plays.
    static QString monitorName()
    {
        return QString::fromLatin1(sinkName) + QStringLiteral(".monitor");
    }
    /// The server's name and version, as it reports them.
    QString description() const { return m_description; }
    /// Returns once the server has at least `streams` playback streams and
    /// has put the null sink to sleep; the caller's events run meanwhile.
    /// Throws std::runtime_error after 30 s.
    void waitUntilAsleep(int streams);

private:
    void startPulseAudio();
    void startPipeWire();
    void start(const QString& program, const QStringList& arguments);
    /// Waits until `path` exists, failing if a started process ends first.
    void waitForFile(const QString& path);
    void stopAll();
    [[noreturn]] void fail(const std::string& what);

    Kind m_kind;
    QString m_folder;
    QString m_socket;
    QString m_log;
    QString m_description;
    QStringList m_environment;
    std::vector<std::unique_ptr<ChildProcess>> m_processes; ///< in the order started
    std::unique_ptr<ServerControl> m_control;
};

} // namespace tolvex::testing
