#pragma once

#include "model/PluginInfo.h"

#include <QList>
#include <QString>

namespace tolvex::chain {

/// A vendor and its plugins, as the add menu lists them.
struct VendorGroup {
    QString vendor;
    QList<model::PluginInfo> plugins;
};

/// Sorts the catalogue stably by lowercased vendor, then lowercased name
/// (lowercased with the user's locale, compared by Unicode scalar values
/// after canonical normalisation).
void sortCatalogue(QList<model::PluginInfo>& plugins);

/// Groups a sorted catalogue by exact vendor; groups ordered by lowercased
/// vendor, a vendor named exactly "Apple" after all others.
QList<VendorGroup> groupByVendor(const QList<model::PluginInfo>& plugins);

} // namespace tolvex::chain
