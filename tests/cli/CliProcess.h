#pragma once

#include <QProcess>
#include <QString>

namespace tolvex::testing {

/// What one run of the exporter left: its exit status (-1 when it did not
/// end normally) and what it printed.
struct CliResult {
    int status = -1;
    QString out;
    QString err;
};

/// Waits for the started `process` (up to two minutes) and collects its result.
inline CliResult finished(QProcess& process)
{
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace tolvex::testing
