#include "chain/CatalogueOrder.h"

#include <QLocale>

#include <algorithm>

namespace tolvex::chain {

namespace {

/// The key both orderings compare: lowercased with the user's locale,
/// canonically normalised, as Unicode scalar values.
QList<uint> sortKey(const QString& text)
{
    return QLocale().toLower(text).normalized(QString::NormalizationForm_C).toUcs4();
}

} // namespace

void sortCatalogue(QList<model::PluginInfo>& plugins)
{
    struct Keyed {
        QList<uint> vendor;
        QList<uint> name;
        model::PluginInfo info;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(plugins.size()));
    for (auto& info : plugins)
        keyed.push_back({sortKey(info.vendor), sortKey(info.name), std::move(info)});
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.vendor == b.vendor)
            return a.name < b.name;
        return a.vendor < b.vendor;
    });
    plugins.clear();
    for (auto& entry : keyed)
        plugins.append(std::move(entry.info));
}

QList<VendorGroup> groupByVendor(const QList<model::PluginInfo>& plugins)
{
    QList<VendorGroup> groups;
    for (const model::PluginInfo& info : plugins) {
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const VendorGroup& g) { return g.vendor == info.vendor; });
        if (group == groups.end())
            groups.append({info.vendor, {info}});
        else
            group->plugins.append(info);
    }
    const QString apple = QStringLiteral("Apple");
    std::stable_sort(groups.begin(), groups.end(), [&](const VendorGroup& a, const VendorGroup& b) {
        const bool aApple = a.vendor == apple;
        const bool bApple = b.vendor == apple;
        if (aApple != bApple)
            return bApple;
        return sortKey(a.vendor) < sortKey(b.vendor);
    });
    return groups;
}

} // namespace tolvex::chain
