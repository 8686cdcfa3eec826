#pragma once

#include "host/AudioHost.h"
#include "worker/ReportPipe.h"

namespace tolvex::worker {

/// The real host as the renders in the worker see it, with one addition:
/// each output file it creates is reported to the parent, who removes it
/// should the worker die before the render has ended.
class ReportingHost : public host::AudioHost {
public:
    ReportingHost(host::AudioHost& host, ReportPipe& reports) : m_host(host), m_reports(reports) {}

    QList<model::PluginInfo> components(quint32 type) override { return m_host.components(type); }
    void rescan() override { m_host.rescan(); }
    void instantiate(const model::PluginId& codes, InstantiationCompletion completion) override
    {
        m_host.instantiate(codes, std::move(completion));
    }
    std::unique_ptr<host::RealtimeEngine> makeRealtimeEngine() override
    {
        return m_host.makeRealtimeEngine();
    }
    std::unique_ptr<host::PlayerNode> makePlayerNode() override { return m_host.makePlayerNode(); }
    std::unique_ptr<host::OfflineEngine> makeOfflineEngine() override
    {
        return m_host.makeOfflineEngine();
    }
    std::unique_ptr<host::AudioFileReader> openForReading(const QString& path) override
    {
        return m_host.openForReading(path);
    }
    std::unique_ptr<host::AudioFileWriter> openForWriting(const QString& path,
                                                          const model::WriterSettings& settings,
                                                          const host::AudioTags& tags) override;
    std::unique_ptr<host::LoudnessMeter> makeLoudnessMeter(const host::AudioFormat& format,
                                                           host::MeasuredFor purpose) override
    {
        return m_host.makeLoudnessMeter(format, purpose);
    }
    std::unique_ptr<host::ScratchAudio> makeScratchAudio(const QString& path,
                                                         const host::AudioFormat& format) override
    {
        return m_host.makeScratchAudio(path, format);
    }
    /// The host's own set-up, and a signal stack on which a crash of a
    /// plugin on this thread is reported (see CrashReporter).
    std::unique_ptr<host::PluginThread> preparePluginThread() override;
    std::unique_ptr<host::ScratchLease> leaseScratch(const QString& path) override
    {
        return m_host.leaseScratch(path);
    }
    std::unique_ptr<host::ScratchAudio> openScratchAudio(const QString& scratch,
                                                         const QString& path,
                                                         const host::AudioFormat& format) override
    {
        return m_host.openScratchAudio(scratch, path, format);
    }

private:
    host::AudioHost& m_host;
    ReportPipe& m_reports;
};

} // namespace tolvex::worker
