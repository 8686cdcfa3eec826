#include "host/lv2/Lv2Ports.h"

#include <algorithm>
#include <cmath>

namespace tolvex::host {

namespace {

QString text(const LilvNode* node)
{
    return node ? QString::fromUtf8(lilv_node_as_string(node)) : QString();
}

} // namespace

Lv2Ports::Lv2Ports(Lv2World& world, const LilvPlugin* plugin) : m_world(world), m_plugin(plugin)
{
    const auto& n = m_world.nodes();
    auto lock = m_world.lock();
    const uint32_t count = lilv_plugin_get_num_ports(m_plugin);
    m_ports.resize(count);
    m_targets = std::make_unique<std::atomic<float>[]>(count);
    m_reported = std::make_unique<std::atomic<float>[]>(count);
    std::vector<float> minimum(count), maximum(count), defaults(count);
    lilv_plugin_get_port_ranges_float(m_plugin, minimum.data(), maximum.data(), defaults.data());
    for (uint32_t i = 0; i < count; ++i)
        describe(i, minimum[i], maximum[i], defaults[i]);
    if (const LilvPort* enabled =
            lilv_plugin_get_port_by_designation(m_plugin, n.inputPort, n.enabled))
        m_enabledPort = int(lilv_port_get_index(m_plugin, enabled));
    if (lilv_plugin_has_latency(m_plugin))
        m_latencyPort = int(lilv_plugin_get_latency_port_index(m_plugin));
}

void Lv2Ports::describe(uint32_t i, float minimum, float maximum, float defaultValue)
{
    const auto& n = m_world.nodes();
    const LilvPort* lilvPort = lilv_plugin_get_port_by_index(m_plugin, i);
    Port& port = m_ports[i];
    port.symbol = text(lilv_port_get_symbol(m_plugin, lilvPort));
    const bool input = lilv_port_is_a(m_plugin, lilvPort, n.inputPort);
    port.sideChain = lilv_port_has_property(m_plugin, lilvPort, n.sideChain);
    if (lilv_port_is_a(m_plugin, lilvPort, n.audioPort))
        port.kind = input ? Kind::audioIn : Kind::audioOut;
    else if (lilv_port_is_a(m_plugin, lilvPort, n.controlPort))
        port.kind = input ? Kind::controlIn : Kind::controlOut;
    else if (lilv_port_is_a(m_plugin, lilvPort, n.atomPort))
        port.kind = input ? Kind::atomIn : Kind::atomOut;
    else if (lilv_port_is_a(m_plugin, lilvPort, n.cvPort))
        port.kind = input ? Kind::cvIn : Kind::cvOut;
    const float low = std::isnan(minimum) ? 0.0f : minimum;
    const float high = std::isnan(maximum) ? std::max(low, 1.0f) : maximum;
    port.minimum = low;
    port.maximum = std::max(low, high);
    port.defaultValue =
        std::isnan(defaultValue) ? low : std::clamp(defaultValue, low, port.maximum);
    m_targets[i] = port.defaultValue;

    m_reported[i] = 0.0f;

    if (port.kind == Kind::controlIn)
        m_controlInputs.push_back(i);
    if (port.kind == Kind::controlOut)
        m_controlOutputs.push_back(i);
    if (port.kind == Kind::audioIn && !port.sideChain)
        m_mainInputs.push_back(i);
    if (port.kind == Kind::audioOut && !port.sideChain)
        m_mainOutputs.push_back(i);
    if (port.kind == Kind::atomIn || port.kind == Kind::atomOut) {
        m_atomPorts.push_back(i);
        if (const LilvNodePtr size{lilv_port_get(m_plugin, lilvPort, n.minimumSize)})
            m_atomCapacity = std::max(m_atomCapacity, size_t(lilv_node_as_int(size.get())));
    }
}

int Lv2Ports::indexOf(const char* symbol) const
{
    const QString wanted = QString::fromUtf8(symbol);
    for (size_t i = 0; i < m_ports.size(); ++i)
        if (m_ports[i].symbol == wanted)
            return int(i);
    return -1;
}

bool Lv2Ports::setTarget(int index, float value)
{
    if (index < 0 || m_ports[size_t(index)].kind != Kind::controlIn || std::isnan(value))
        return false;
    const Port& port = m_ports[size_t(index)];
    m_targets[size_t(index)] = std::clamp(value, port.minimum, port.maximum);
    m_changes.fetch_add(1, std::memory_order_release);
    return true;
}

void Lv2Ports::fill(float* buffer, bool enabled) const noexcept
{
    for (uint32_t i : m_controlInputs)
        buffer[i] = m_targets[i].load(std::memory_order_relaxed);
    if (m_enabledPort >= 0)
        buffer[m_enabledPort] = enabled ? 1.0f : 0.0f;
}

void Lv2Ports::report(const float* values, bool first) noexcept
{
    for (uint32_t i : m_controlOutputs) {
        const float value = values[i];
        if (first || value > m_reported[i].load(std::memory_order_relaxed))
            m_reported[i].store(value, std::memory_order_relaxed);
    }
}

float Lv2Ports::value(int index) const
{
    if (index < 0 || size_t(index) >= m_ports.size())
        return NAN;
    switch (m_ports[size_t(index)].kind) {
    case Kind::controlIn:
        return target(uint32_t(index));
    case Kind::controlOut:
        return reported(uint32_t(index));
    default:
        return NAN;
    }
}

QList<PluginParameter> Lv2Ports::parameters() const
{
    QList<PluginParameter> list;
    auto lock = m_world.lock();
    for (uint32_t i : m_controlInputs)
        if (int(i) != m_enabledPort)
            list.append(describeForView(i));
    return list;
}

QList<PluginParameter> Lv2Ports::outputs() const
{
    QList<PluginParameter> list;
    auto lock = m_world.lock();
    for (uint32_t i : m_controlOutputs)
        list.append(describeForView(i));
    return list;
}

PluginParameter Lv2Ports::describeForView(uint32_t i) const
{
    const auto& n = m_world.nodes();
    const Port& port = m_ports[i];
    const LilvPort* lilvPort = lilv_plugin_get_port_by_index(m_plugin, i);
    PluginParameter parameter;
    parameter.symbol = port.symbol;
    parameter.name = text(LilvNodePtr(lilv_port_get_name(m_plugin, lilvPort)).get());
    parameter.minimum = port.minimum;
    parameter.maximum = port.maximum;
    parameter.defaultValue = port.defaultValue;
    parameter.output = port.kind == Kind::controlOut;
    parameter.value = value(int(i));
    parameter.integer = lilv_port_has_property(m_plugin, lilvPort, n.integer);
    parameter.toggle = lilv_port_has_property(m_plugin, lilvPort, n.toggled);
    parameter.enumeration = lilv_port_has_property(m_plugin, lilvPort, n.enumeration);
    parameter.logarithmic = lilv_port_has_property(m_plugin, lilvPort, n.logarithmic);
    if (const LilvNodePtr unit{lilv_port_get(m_plugin, lilvPort, n.unitsUnit)})
        parameter.unit = text(
            LilvNodePtr(lilv_world_get(m_world.world(), unit.get(), n.unitsSymbol, nullptr)).get());
    addLabels(parameter, lilvPort);
    return parameter;
}

void Lv2Ports::addLabels(PluginParameter& parameter, const LilvPort* port) const
{
    const LilvScalePointsPtr points{lilv_port_get_scale_points(m_plugin, port)};
    if (!points)
        return;
    LILV_FOREACH(scale_points, it, points.get())
    {
        const LilvScalePoint* point = lilv_scale_points_get(points.get(), it);
        parameter.labels.append({lilv_node_as_float(lilv_scale_point_get_value(point)),
                                 text(lilv_scale_point_get_label(point))});
    }
    std::stable_sort(parameter.labels.begin(), parameter.labels.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

} // namespace tolvex::host
