#include "worker/ReportPipe.h"

#include <cerrno>

#include <unistd.h>

namespace tolvex::worker {

bool ReportPipe::send(const session::WorkerReport& report)
{
    const QByteArray line = session::writeReport(report);
    std::lock_guard lock(m_mutex);
    for (qsizetype done = 0; !m_broken && done < line.size();) {
        const ssize_t written = ::write(STDOUT_FILENO, line.constData() + done, line.size() - done);
        if (written > 0)
            done += written;
        else if (errno != EINTR)
            m_broken = true;
    }
    return !m_broken;
}

} // namespace tolvex::worker
