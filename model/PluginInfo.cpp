#include "model/PluginInfo.h"

namespace tolvex::model {

QString PluginInfo::id() const
{
    return QString::number(type) + u'-' + QString::number(subtype) + u'-' +
           QString::number(manufacturer);
}

size_t qHash(const PluginInfo& info, size_t seed) noexcept
{
    return qHashMulti(seed, info.type, info.subtype, info.manufacturer, info.name, info.vendor);
}

} // namespace tolvex::model
