#include "model/PluginInfo.h"

namespace tolvex::model {

QString PluginId::text() const
{
    return QString::number(type) + u'-' + QString::number(subtype) + u'-' +
           QString::number(manufacturer);
}

size_t qHash(const PluginInfo& info, size_t seed) noexcept
{
    return qHashMulti(seed, info.codes.type, info.codes.subtype, info.codes.manufacturer, info.name,
                      info.vendor);
}

} // namespace tolvex::model
