#include "host/lv2/Lv2AudioHost.h"

#include "host/engine/OfflineGraphEngine.h"
#include "host/engine/RealtimeGraphEngine.h"
#include "host/engine/RealtimePlayer.h"
#include "host/files/AudioFiles.h"
#include "host/files/ScratchFile.h"
#include "host/loudness/EbuR128Meter.h"
#include "host/lv2/Lv2Instance.h"
#include "host/lv2/Lv2World.h"

#include <QDir>
#include <QTemporaryDir>

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
    std::shared_ptr<const QTemporaryDir> stateRoot =
        std::make_shared<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("tolvex-XXXXXX")));
    std::mutex worldMutex;
    std::shared_ptr<Lv2World> world; ///< the latest scan; instances keep theirs alive
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

    std::shared_ptr<Lv2World> currentWorld()
    {
        std::lock_guard lock(worldMutex);
        if (!world)
            world = std::make_shared<Lv2World>();
        return world;
    }

    /// The instance, or the error that names the plugin. Never throws.
    Instantiation make(const model::PluginId& codes)
    {
        QString name = u'„' + codes.text() + u'“';
        try {
            const std::shared_ptr<Lv2World> from = currentWorld();
            const LilvPlugin* plugin = from->find(codes);
            if (!plugin)
                return HostError(QStringLiteral("Das Plugin ") + name +
                                 QStringLiteral(" ist nicht installiert."));
            name = u'„' + from->info(plugin).name + u'“';
            return std::make_unique<Lv2Instance>(from, plugin, stateRoot);
        } catch (const HostError& error) {
            return error;
        } catch (const std::bad_alloc&) {
            return HostError(QStringLiteral("Kein Speicher für ") + name + u'.');
        }
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
            try {
                job();
            } catch (...) {
                // A completion that throws has had its one call; what it
                // throws is its own, and the next jobs still run.
            }
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
    return d->currentWorld()->components(type);
}

void Lv2AudioHost::rescan()
{
    auto fresh = std::make_shared<Lv2World>();
    std::lock_guard lock(d->worldMutex);
    d->world.swap(fresh); // the old world stays while instances made from it live
}

std::optional<model::PluginInfo> Lv2AudioHost::find(const QString& uri)
{
    const quint64 hash = Lv2World::uriHash(uri.toUtf8().constData());
    const auto world = d->currentWorld();
    const LilvPlugin* plugin = world->find({model::effectType, quint32(hash >> 32), quint32(hash)});
    return plugin ? std::optional(world->info(plugin)) : std::nullopt;
}

QString Lv2AudioHost::uri(const model::PluginId& codes)
{
    const auto world = d->currentWorld();
    const auto lock = world->lock();
    const LilvPlugin* plugin = world->find(codes);
    return plugin ? QString::fromUtf8(lilv_node_as_uri(lilv_plugin_get_uri(plugin))) : QString();
}

void Lv2AudioHost::instantiate(const model::PluginId& codes, InstantiationCompletion completion)
{
    // The completion is called once, outside any try of the host's.
    d->post([this, codes, completion = std::move(completion)] { completion(d->make(codes)); });
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
                                                              const model::WriterSettings& settings,
                                                              const AudioTags& tags)
{
    return createAudioFile(path, settings, tags);
}

std::unique_ptr<LoudnessMeter> Lv2AudioHost::makeLoudnessMeter(const AudioFormat& format,
                                                               MeasuredFor purpose)
{
    return makeEbuR128Meter(format, purpose);
}

std::unique_ptr<ScratchAudio> Lv2AudioHost::makeScratchAudio(const QString& path,
                                                             const AudioFormat& format)
{
    return createScratchFile(path, format);
}

std::unique_ptr<ScratchLease> Lv2AudioHost::leaseScratch(const QString& path)
{
    return leaseScratchFile(path);
}

std::unique_ptr<ScratchAudio> Lv2AudioHost::openScratchAudio(const QString& scratch,
                                                             const QString& path,
                                                             const AudioFormat& format)
{
    return openScratchFile(scratch, path, format);
}

} // namespace tolvex::host
