#include "host/lv2/Lv2AudioHost.h"

#include "host/engine/OfflineGraphEngine.h"
#include "host/engine/RealtimeGraphEngine.h"
#include "host/engine/RealtimePlayer.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2Instance.h"
#include "host/lv2/Lv2World.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tolvex::host {

/// Instantiations run one after another on a helper thread of the host's,
/// which also delivers their completions.
struct Lv2AudioHost::Private {
    OutputFactory makeOutput;
    Lv2World world;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool quit = false;
    std::thread helper{[this] { run(); }};

    ~Private()
    {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake.notify_all();
        helper.join();
    }

    void post(std::function<void()> job)
    {
        {
            std::lock_guard lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    void run()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return quit || !jobs.empty(); });
                if (jobs.empty())
                    return; // quit, with nothing left to deliver
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
    }
};

Lv2AudioHost::Lv2AudioHost(OutputFactory makeOutput) : d(std::make_unique<Private>())
{
    d->makeOutput = std::move(makeOutput);
}

Lv2AudioHost::~Lv2AudioHost() = default;

QList<model::PluginInfo> Lv2AudioHost::components(quint32 type)
{
    auto lock = d->world.lock();
    return d->world.components(type);
}

std::optional<model::PluginInfo> Lv2AudioHost::find(const QString& uri)
{
    const quint64 hash = Lv2World::uriHash(uri.toUtf8().constData());
    auto lock = d->world.lock();
    for (quint32 type : {model::effectType, model::musicEffectType})
        for (const model::PluginInfo& info : d->world.components(type))
            if (info.codes.subtype == quint32(hash >> 32) &&
                info.codes.manufacturer == quint32(hash))
                return info;
    return std::nullopt;
}

void Lv2AudioHost::instantiate(const model::PluginId& codes, InstantiationCompletion completion)
{
    d->post([this, codes, completion = std::move(completion)] {
        const LilvPlugin* plugin = nullptr;
        {
            auto lock = d->world.lock();
            plugin = d->world.find(codes);
        }
        if (!plugin) {
            completion(HostError(QStringLiteral("Das Plugin ist nicht installiert.")));
            return;
        }
        try {
            completion(std::make_unique<Lv2Instance>(d->world, plugin));
        } catch (const HostError& error) {
            completion(error);
        } catch (const std::bad_alloc&) {
            completion(HostError(QStringLiteral("Kein Speicher für das Plugin.")));
        }
    });
}

std::unique_ptr<RealtimeEngine> Lv2AudioHost::makeRealtimeEngine()
{
    return std::make_unique<RealtimeGraphEngine>(d->makeOutput());
}

std::unique_ptr<PlayerNode> Lv2AudioHost::makePlayerNode()
{
    return std::make_unique<RealtimePlayer>();
}

std::unique_ptr<OfflineEngine> Lv2AudioHost::makeOfflineEngine()
{
    return std::make_unique<OfflineGraphEngine>();
}

std::unique_ptr<AudioFileReader> Lv2AudioHost::openForReading(const QString& path)
{
    return openAudioFile(path);
}

std::unique_ptr<AudioFileWriter> Lv2AudioHost::openForWriting(const QString& path,
                                                              const model::WriterSettings& settings)
{
    return createAudioFile(path, settings);
}

} // namespace tolvex::host
