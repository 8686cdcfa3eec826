#include "cli/ChainLoading.h"

#include "cli/UsageError.h"
#include "model/ChainDocument.h"
#include "presets/Presets.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <future>

namespace tolvex::cli {

namespace {

QString quoted(const QString& text)
{
    return u'„' + text + u'“';
}

QList<model::PluginState> fromPreset(const QString& name)
{
    const QString path = presets::Presets::pathIn(presets::Presets::defaultFolder(), name);
    if (!QFile::exists(path))
        throw UsageError(QStringLiteral("Eine Kette ") + quoted(name) +
                         QStringLiteral(" gibt es nicht. „tolvex-cli presets“ zeigt die "
                                        "gespeicherten Ketten."));
    const auto states = presets::Presets::read(path);
    if (!states)
        throw UsageError(QStringLiteral("Kette ") + quoted(name) +
                         QStringLiteral(" lässt sich nicht lesen."));
    return *states;
}

QList<model::PluginState> fromFile(const QString& path)
{
    const auto states = presets::Presets::read(path);
    if (!states)
        throw UsageError(QStringLiteral("Die Kettendatei ") + quoted(path) +
                         QStringLiteral(" lässt sich nicht lesen."));
    return *states;
}

QList<model::PluginState> fromSettings(const model::ExportSettings& settings)
{
    const auto saved = settings.savedChain();
    if (!saved)
        return {};
    const auto states = model::decodeChain(*saved);
    if (!states)
        throw UsageError(QStringLiteral("Die zuletzt gespeicherte Kette lässt sich nicht lesen."));
    return *states;
}

/// Makes the plugin once and lets it go again.
void checkLoads(host::AudioHost& host, const model::PluginState& entry)
{
    std::promise<host::Instantiation> promise;
    auto result = promise.get_future();
    host.instantiate(entry.codes,
                     [&promise](host::Instantiation made) { promise.set_value(std::move(made)); });
    const host::Instantiation made = result.get();
    // The host's own message says why. It names a plugin that is not
    // installed by its codes, which the chain knows a name for.
    if (const auto* error = std::get_if<host::HostError>(&made))
        throw UsageError(
            QString(error->message()).replace(quoted(entry.codes.text()), quoted(entry.name)));
    const auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&made);
    if (!instance || !*instance)
        throw UsageError(quoted(entry.name) + QStringLiteral(" lässt sich nicht laden."));
}

} // namespace

QList<model::PluginState> loadChain(host::AudioHost& host, const model::ExportSettings& settings,
                                    const CliOptions& options)
{
    const QList<model::PluginState> stored = options.preset      ? fromPreset(*options.preset)
                                             : options.chainFile ? fromFile(*options.chainFile)
                                                                 : fromSettings(settings);
    QList<model::PluginState> active;
    for (const model::PluginState& entry : stored)
        if (!entry.bypass)
            active.append(entry);
    for (const model::PluginState& entry : active)
        checkLoads(host, entry);
    return active;
}

} // namespace tolvex::cli
