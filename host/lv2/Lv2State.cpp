#include "host/lv2/Lv2State.h"

#include "host/lv2/Lv2StateCheck.h"

#include <lv2/atom/atom.h>

#include <cmath>
#include <cstring>

namespace tolvex::host {

namespace {
constexpr const char* stateSubject = "urn:tolvex:state";
} // namespace

Lv2State::Lv2State(Lv2World& world, const LilvPlugin* plugin, Lv2Ports& ports)
    : m_world(world), m_plugin(plugin), m_ports(ports), m_float(world.urid(LV2_ATOM__Float)),
      m_double(world.urid(LV2_ATOM__Double)), m_int(world.urid(LV2_ATOM__Int)),
      m_long(world.urid(LV2_ATOM__Long)), m_bool(world.urid(LV2_ATOM__Bool))
{}

QString Lv2State::uri() const
{
    return QString::fromUtf8(lilv_node_as_uri(lilv_plugin_get_uri(m_plugin)));
}

LilvStatePtr Lv2State::capture(const Lv2Copy& copy) const
{
    auto lock = m_world.lock();
    return m_world.own(lilv_state_new_from_instance(
        m_plugin, copy.instance(), m_world.map(), nullptr, nullptr, nullptr, nullptr,
        &Lv2State::portValue, const_cast<Lv2State*>(this), LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
        copy.features()));
}

void Lv2State::restore(const LilvState& state, Lv2Copy& copy) const
{
    auto lock = m_world.lock();
    lilv_state_restore(&state, copy.instance(), nullptr, nullptr, 0, copy.features());
}

std::optional<PropertyDictionary> Lv2State::toDictionary(const LilvState& state) const
{
    LilvStringPtr turtle;
    {
        auto lock = m_world.lock();
        turtle.reset(lilv_state_to_string(m_world.world(), m_world.map(), m_world.unmap(), &state,
                                          stateSubject, nullptr));
    }
    if (!turtle)
        return std::nullopt;
    return PropertyDictionary{
        {QStringLiteral("uri"), uri()},
        {QStringLiteral("state"), QString::fromUtf8(turtle.get())},
    };
}

LilvStatePtr Lv2State::fromDictionary(const PropertyDictionary& dictionary)
{
    if (dictionary.value(QStringLiteral("uri")).toString() != uri())
        return nullptr; // another plugin's state
    const QByteArray turtle = dictionary.value(QStringLiteral("state")).toString().toUtf8();
    if (turtle.isEmpty() || !lilvCanReadState(turtle.constData()))
        return nullptr; // lilv would crash or never end on it
    LilvStatePtr state;
    {
        auto lock = m_world.lock();
        state = m_world.own(
            lilv_state_new_from_string(m_world.world(), m_world.map(), turtle.constData()));
    }
    if (state)
        lilv_state_emit_port_values(state.get(), &Lv2State::setPortValue, this);
    return state;
}

const void* Lv2State::portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type)
{
    const auto* self = static_cast<const Lv2State*>(user);
    const int index = self->m_ports.indexOf(symbol);
    if (index < 0 || self->m_ports[size_t(index)].kind != Lv2Ports::Kind::controlIn) {
        *size = 0;
        *type = 0;
        return nullptr;
    }
    // Read on the calling thread; the value is only used during this call.
    static thread_local float value;
    value = self->m_ports.target(uint32_t(index));
    *size = sizeof(float);
    *type = self->m_float;
    return &value;
}

void Lv2State::setPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                            uint32_t type)
{
    auto* self = static_cast<Lv2State*>(user);
    const auto read = [&](auto number) {
        if (size != sizeof(number))
            return NAN;
        std::memcpy(&number, value, sizeof(number));
        return float(number);
    };
    float number = NAN;
    if (type == self->m_float)
        number = read(float());
    else if (type == self->m_double)
        number = read(double());
    else if (type == self->m_int)
        number = read(int32_t());
    else if (type == self->m_long)
        number = read(int64_t());
    else if (type == self->m_bool)
        number = std::isnan(read(int32_t())) ? NAN : float(read(int32_t()) != 0);
    // setTarget refuses NaN (a type or size it does not know) and non-controls.
    self->m_ports.setTarget(self->m_ports.indexOf(symbol), number);
}

} // namespace tolvex::host
