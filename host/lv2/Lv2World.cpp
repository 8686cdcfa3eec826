#include "host/lv2/Lv2World.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/port-props/port-props.h>
#include <lv2/units/units.h>
#include <lv2/worker/worker.h>

#include <QUrl>

namespace tolvex::host {

namespace {
constexpr const char* doapName = "http://usefulinc.com/ns/doap#name";
constexpr const char* isSideChain = "http://lv2plug.in/ns/lv2core#isSideChain";
constexpr const char* minimumSize = "http://lv2plug.in/ns/ext/resize-port#minimumSize";
} // namespace

Lv2World::Lv2World() : m_world(lilv_world_new())
{
    lilv_world_load_all(world());
    const auto node = [this](const char* uri) -> const LilvNode* {
        return m_ownedNodes.emplace_back(lilv_new_uri(world(), uri)).get();
    };
    m_nodes = Nodes{
        node(LV2_CORE__AudioPort),
        node(LV2_CORE__ControlPort),
        node(LV2_CORE__CVPort),
        node(LV2_ATOM__AtomPort),
        node("http://lv2plug.in/ns/ext/event#EventPort"),
        node(LV2_CORE__InputPort),
        node(LV2_CORE__OutputPort),
        node(LV2_MIDI__MidiEvent),
        node(LV2_CORE__latency),
        node(LV2_CORE__reportsLatency),
        node(LV2_CORE__enabled),
        node(LV2_CORE__toggled),
        node(LV2_CORE__integer),
        node(LV2_CORE__enumeration),
        node(LV2_PORT_PROPS__logarithmic),
        node(isSideChain),
        node(LV2_UNITS__unit),
        node(LV2_UNITS__symbol),
        node(doapName),
        node(LV2_WORKER__interface),
        node(minimumSize),
    };
    catalogue();
}

LV2_URID Lv2World::urid(const char* uri)
{
    return mapUri(this, uri);
}

LV2_URID Lv2World::mapUri(LV2_URID_Map_Handle handle, const char* uri)
{
    return static_cast<Lv2World*>(handle)->m_urids.map(uri);
}

const char* Lv2World::unmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    return static_cast<Lv2World*>(handle)->m_urids.unmap(urid);
}

quint64 Lv2World::uriHash(const char* uri)
{
    quint64 hash = 14695981039346656037ull;
    for (const char* c = uri; *c; ++c) {
        hash ^= quint8(*c);
        hash *= 1099511628211ull;
    }
    return hash;
}

QString Lv2World::vendorOf(const LilvPlugin* plugin) const
{
    if (const LilvNodePtr author{lilv_plugin_get_author_name(plugin)}) {
        const QString name = QString::fromUtf8(lilv_node_as_string(author.get())).trimmed();
        if (!name.isEmpty())
            return name;
    }
    if (const LilvNodePtr project{lilv_plugin_get_project(plugin)}) {
        const LilvNodePtr name{lilv_world_get(world(), project.get(), m_nodes.doapName, nullptr)};
        const QString text =
            name ? QString::fromUtf8(lilv_node_as_string(name.get())).trimmed() : QString();
        if (!text.isEmpty())
            return text;
    }
    return QUrl(QString::fromUtf8(lilv_node_as_uri(lilv_plugin_get_uri(plugin)))).host();
}

bool Lv2World::takesMidi(const LilvPlugin* plugin) const
{
    const uint32_t count = lilv_plugin_get_num_ports(plugin);
    for (uint32_t i = 0; i < count; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        if (lilv_port_is_a(plugin, port, m_nodes.inputPort) &&
            (lilv_port_is_a(plugin, port, m_nodes.atomPort) ||
             lilv_port_is_a(plugin, port, m_nodes.eventPort)) &&
            lilv_port_supports_event(plugin, port, m_nodes.midiEvent))
            return true;
    }
    return false;
}

void Lv2World::catalogue()
{
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world());
    LILV_FOREACH(plugins, it, plugins)
    {
        const LilvPlugin* plugin = lilv_plugins_get(plugins, it);
        const uint32_t inputs = lilv_plugin_get_num_ports_of_class(plugin, m_nodes.audioPort,
                                                                   m_nodes.inputPort, nullptr);
        const uint32_t outputs = lilv_plugin_get_num_ports_of_class(plugin, m_nodes.audioPort,
                                                                    m_nodes.outputPort, nullptr);
        if (inputs == 0 || outputs == 0)
            continue;
        const char* uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
        const quint64 hash = uriHash(uri);
        model::PluginInfo info;
        info.codes = {takesMidi(plugin) ? model::musicEffectType : model::effectType,
                      quint32(hash >> 32), quint32(hash)};
        const LilvNodePtr name{lilv_plugin_get_name(plugin)};
        info.name =
            name ? QString::fromUtf8(lilv_node_as_string(name.get())) : QString::fromUtf8(uri);
        info.vendor = vendorOf(plugin);
        m_entries.push_back({std::move(info), plugin});
    }
}

QList<model::PluginInfo> Lv2World::components(quint32 type) const
{
    QList<model::PluginInfo> found;
    for (const Entry& entry : m_entries)
        if (entry.info.codes.type == type)
            found.append(entry.info);
    return found;
}

const LilvPlugin* Lv2World::find(const model::PluginId& codes) const
{
    // Every listed plugin is an effect of one of the two types.
    if (codes.type != model::effectType && codes.type != model::musicEffectType)
        return nullptr;
    for (const Entry& entry : m_entries)
        if (entry.info.codes.subtype == codes.subtype &&
            entry.info.codes.manufacturer == codes.manufacturer)
            return entry.plugin;
    return nullptr;
}

model::PluginInfo Lv2World::info(const LilvPlugin* plugin) const
{
    for (const Entry& entry : m_entries)
        if (entry.plugin == plugin)
            return entry.info;
    return {};
}

bool Lv2World::isOfClass(const LilvPlugin* plugin, const char* classUri) const
{
    const LilvPluginClasses* classes = lilv_world_get_plugin_classes(world());
    const LilvPluginClass* current = lilv_plugin_get_class(plugin);
    for (int depth = 0; current && depth < 32; ++depth) {
        const LilvNode* uri = lilv_plugin_class_get_uri(current);
        if (QByteArray(lilv_node_as_uri(uri)) == classUri)
            return true;
        const LilvNode* parent = lilv_plugin_class_get_parent_uri(current);
        if (!parent || lilv_node_equals(parent, uri))
            break;
        current = lilv_plugin_classes_get_by_uri(classes, parent);
    }
    return false;
}

} // namespace tolvex::host
