#include "worker/ReportingHost.h"

#include "worker/CrashReporter.h"

#include <QFile>

#include <sys/stat.h>

namespace tolvex::worker {

namespace {

/// A thread marked for the crash report, with what the host below set up.
class ReportedThread : public host::PluginThread {
public:
    explicit ReportedThread(std::unique_ptr<host::PluginThread> below) : m_below(std::move(below))
    {}

private:
    std::unique_ptr<host::PluginThread> m_below;
    CrashReporter::RenderThread m_marked;
};

} // namespace

std::unique_ptr<host::PluginThread> ReportingHost::preparePluginThread()
{
    return std::make_unique<ReportedThread>(m_host.preparePluginThread());
}

std::unique_ptr<host::AudioFileWriter>
ReportingHost::openForWriting(const QString& path, const model::WriterSettings& settings,
                              const host::AudioTags& tags)
{
    auto writer = m_host.openForWriting(path, settings, tags);
    // The file is known by its identity, so that the parent never removes
    // what another process has put at the path since.
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) == 0)
        m_reports.send(
            session::CreatedReport{path, quint64(status.st_dev), quint64(status.st_ino)});
    return writer;
}

} // namespace tolvex::worker
