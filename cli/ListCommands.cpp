#include "cli/ListCommands.h"

#include "chain/CatalogueOrder.h"
#include "cli/PlainText.h"
#include "presets/Presets.h"

#include <cstdio>

namespace tolvex::cli {

namespace {

void printLine(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
}

} // namespace

int listPlugins(host::Lv2AudioHost& host)
{
    QList<model::PluginInfo> plugins = host.components(model::effectType);
    plugins += host.components(model::musicEffectType);
    if (plugins.isEmpty()) {
        std::fprintf(stderr, "Keine Effekt-Plugins (LV2) gefunden\n");
        return 0;
    }
    chain::sortCatalogue(plugins);
    const QList<chain::VendorGroup> groups = chain::groupByVendor(plugins);
    for (qsizetype g = 0; g < groups.size(); ++g) {
        if (g > 0)
            printLine(QString());
        printLine(printable(groups[g].vendor));
        qsizetype width = 0;
        QStringList uris;
        for (const model::PluginInfo& plugin : groups[g].plugins) {
            uris.append(printable(host.uri(plugin.codes)));
            width = std::max(width, uris.last().size());
        }
        for (qsizetype i = 0; i < uris.size(); ++i)
            printLine(QStringLiteral("  ") + uris[i].leftJustified(width) + QStringLiteral("  ") +
                      printable(groups[g].plugins[i].name));
    }
    return 0;
}

int listPresets()
{
    const presets::Presets store(nullptr, nullptr);
    for (const QString& name : store.names())
        printLine(printable(name));
    return 0;
}

} // namespace tolvex::cli
