#include "cli/ChainLoading.h"

#include "cli/PluginArgument.h"
#include "cli/UsageError.h"
#include "host/PropertyList.h"
#include "model/ChainDocument.h"
#include "presets/Presets.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <algorithm>
#include <cmath>

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

/// The value `text` gives the control `symbol`, or UsageError when the plugin
/// has no such control input or `text` is no finite number. Values beyond
/// the control's range are limited to it, as in stored chains.
void setControl(host::PluginInstance& instance, const QString& uri, const QString& symbol,
                const QString& text)
{
    const auto named = [&](const host::PluginParameter& parameter) {
        return parameter.symbol == symbol;
    };
    const QList<host::PluginParameter> controls = instance.parameters();
    if (std::none_of(controls.begin(), controls.end(), named)) {
        const QList<host::PluginParameter> outputs = instance.outputs();
        if (std::any_of(outputs.begin(), outputs.end(), named))
            throw UsageError(quoted(symbol) + QStringLiteral(" von ") + quoted(uri) +
                             QStringLiteral(" ist eine Anzeige des Plugins, kein Regler."));
        QStringList symbols;
        for (const host::PluginParameter& control : controls)
            symbols.append(control.symbol);
        throw UsageError(
            QStringLiteral("Das Plugin ") + quoted(uri) + QStringLiteral(" hat keinen Regler ") +
            quoted(symbol) + QStringLiteral(". Seine Regler: ") +
            (symbols.isEmpty() ? QStringLiteral("keine") : symbols.join(u", ")) + u'.');
    }
    bool number = false;
    const double value = text.toDouble(&number);
    if (!number || !std::isfinite(value))
        throw UsageError(QStringLiteral("Der Wert ") + quoted(text) + QStringLiteral(" für ") +
                         quoted(symbol) + QStringLiteral(" von ") + quoted(uri) +
                         QStringLiteral(" ist keine Zahl."));
    instance.setParameter(symbol, float(value));
}

/// One "--plugin" argument as a chain entry, its values in its state.
model::PluginState fromArgument(host::Lv2AudioHost& host, const QString& argument)
{
    const PluginArgument wanted = PluginArgument::parse(
        argument, [&host](const QString& uri) { return host.find(uri).has_value(); });
    const std::optional<model::PluginInfo> info = host.find(wanted.uri);
    if (!info)
        throw UsageError(QStringLiteral("Ein Effekt-Plugin ") + quoted(wanted.uri) +
                         QStringLiteral(" ist nicht installiert. „tolvex-cli plugins“ zeigt die "
                                        "installierten mit ihren URIs."));
    model::PluginState entry = model::PluginState::from(*info, false);
    const std::unique_ptr<host::PluginInstance> instance = makeInstance(host, entry);
    for (const auto& [symbol, text] : wanted.settings)
        setControl(*instance, wanted.uri, symbol, text);
    if (const auto state = instance->fullState())
        entry.state = host::writeBinaryPropertyList(*state);
    if (!entry.state && !wanted.settings.isEmpty())
        throw UsageError(QStringLiteral("Das Plugin ") + quoted(wanted.uri) +
                         QStringLiteral(" gibt seinen Zustand nicht heraus; die Werte lassen sich "
                                        "nicht übernehmen."));
    return entry;
}

} // namespace

std::unique_ptr<host::PluginInstance> makeInstance(host::AudioHost& host,
                                                   const model::PluginState& entry)
{
    host::Instantiation made = host::instantiateAndWait(host, entry.codes);
    // The host's own message says why. It names a plugin that is not
    // installed by its codes, which the chain knows a name for.
    if (const auto* error = std::get_if<host::HostError>(&made))
        throw UsageError(
            QString(error->message()).replace(quoted(entry.codes.text()), quoted(entry.name)));
    auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&made);
    if (!instance || !*instance)
        throw UsageError(quoted(entry.name) + QStringLiteral(" lässt sich nicht laden."));
    return std::move(*instance);
}

QList<model::PluginState> storedChain(host::Lv2AudioHost& host,
                                      const model::ExportSettings& settings,
                                      const CliOptions& options)
{
    if (options.preset)
        return fromPreset(*options.preset);
    if (options.chainFile)
        return fromFile(*options.chainFile);
    if (options.plugins.isEmpty())
        return fromSettings(settings);
    QList<model::PluginState> built;
    for (const QString& argument : options.plugins)
        built.append(fromArgument(host, argument));
    return built;
}

QList<model::PluginState> loadChain(host::Lv2AudioHost& host, const model::ExportSettings& settings,
                                    const CliOptions& options)
{
    QList<model::PluginState> active;
    for (const model::PluginState& entry : storedChain(host, settings, options))
        if (!entry.bypass)
            active.append(entry);
    if (options.plugins.isEmpty()) // plugins from arguments were made just now
        for (const model::PluginState& entry : active)
            makeInstance(host, entry);
    return active;
}

} // namespace tolvex::cli
