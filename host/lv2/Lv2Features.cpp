#include "host/lv2/Lv2Features.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace tolvex::host {

namespace {

const char* const supportedFeatures[] = {
    LV2_URID__map,
    LV2_URID__unmap,
    LV2_OPTIONS__options,
    LV2_BUF_SIZE__boundedBlockLength,
    LV2_WORKER__schedule,
    LV2_STATE__makePath,
    LV2_LOG__log,
    LV2_CORE__isLive,
    LV2_CORE__inPlaceBroken,
    LV2_CORE__hardRTCapable,
};

} // namespace

Lv2Features::Lv2Features(Lv2World& world, QString stateFolder, size_t sequenceSize)
    : m_world(world), m_stateFolder(std::move(stateFolder)), m_sequenceSize(int32_t(sequenceSize))
{
    const auto option = [this](const char* key, const char* type, auto* value) {
        return LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0,    m_world.urid(key), sizeof(*value),
                                  m_world.urid(type),   value};
    };
    m_options = {
        option(LV2_PARAMETERS__sampleRate, LV2_ATOM__Float, &m_rate),
        option(LV2_BUF_SIZE__minBlockLength, LV2_ATOM__Int, &m_minBlock),
        option(LV2_BUF_SIZE__maxBlockLength, LV2_ATOM__Int, &m_maxBlock),
        option(LV2_BUF_SIZE__nominalBlockLength, LV2_ATOM__Int, &m_nominalBlock),
        option(LV2_BUF_SIZE__sequenceSize, LV2_ATOM__Int, &m_sequenceSize),
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
}

QString Lv2Features::missing(const LilvPlugin* plugin)
{
    const LilvNodesPtr required{lilv_plugin_get_required_features(plugin)};
    LILV_FOREACH(nodes, it, required.get())
    {
        const char* uri = lilv_node_as_uri(lilv_nodes_get(required.get(), it));
        if (std::none_of(std::begin(supportedFeatures), std::end(supportedFeatures),
                         [&](const char* offered) { return std::strcmp(offered, uri) == 0; }))
            return QString::fromUtf8(uri);
    }
    return {};
}

std::vector<LV2_Feature> Lv2Features::forCopy(LV2_Worker_Schedule* schedule) const
{
    return {
        {LV2_URID__map, m_world.map()},
        {LV2_URID__unmap, m_world.unmap()},
        {LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(m_options.data())},
        {LV2_BUF_SIZE__boundedBlockLength, nullptr},
        {LV2_WORKER__schedule, schedule},
        {LV2_STATE__makePath, const_cast<LV2_State_Make_Path*>(&m_makePath)},
        {LV2_LOG__log, const_cast<LV2_Log_Log*>(&m_log)},
    };
}

char* Lv2Features::makePath(LV2_State_Make_Path_Handle handle, const char* path)
{
    auto* self = static_cast<Lv2Features*>(handle);
    const QString full = QDir(self->m_stateFolder).filePath(QString::fromUtf8(path));
    QDir().mkpath(QFileInfo(full).absolutePath());
    return strdup(full.toUtf8().constData());
}

} // namespace tolvex::host
