#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace tolvex::testing {

/// A program the bench starts and ends: when the object goes, the program
/// gets SIGTERM, and SIGKILL if it has not ended two seconds later. Should
/// the bench die first (a crash, an exit from deep inside, Ctrl-C), the
/// kernel sends the program SIGTERM, so nothing it started outlives it.
class ChildProcess {
public:
    /// Starts `program` (a name looked up in PATH, or a path) with
    /// `arguments`, in exactly `environment` ("NAME=value" each), its output
    /// and errors appended to `logPath`. Throws std::runtime_error when the
    /// program is not found or cannot be started.
    ChildProcess(const QString& program, const QStringList& arguments,
                 const QStringList& environment, const QString& logPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// False once the program has ended (and been collected).
    bool running();
    QString name() const { return m_name; }

private:
    QString m_name;
    pid_t m_pid = -1;
};

} // namespace tolvex::testing
