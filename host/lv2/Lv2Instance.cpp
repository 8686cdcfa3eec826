#include "host/lv2/Lv2Instance.h"

#include "host/HostError.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/parameters/parameters.h>
#include <lv2/worker/worker.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tolvex::host {

namespace {

constexpr double defaultRate = 48000;
constexpr qint64 maxBlock = 4096;
constexpr const char* stateSubject = "urn:tolvex:state";

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

struct InstanceFree {
    void operator()(LilvInstance* instance) const { lilv_instance_free(instance); }
};

QString text(const LilvNode* node)
{
    return node ? QString::fromUtf8(lilv_node_as_string(node)) : QString();
}

} // namespace

struct Lv2Instance::Copy {
    std::unique_ptr<LilvInstance, InstanceFree> instance;
    Lv2Worker worker;
    std::vector<LV2_Feature> featureStorage;
    std::vector<const LV2_Feature*> features;
    std::vector<float> controlOutputs;
    std::vector<std::vector<uint64_t>> atoms; ///< 8-byte aligned atom buffers per port
    std::vector<float> scratch;               ///< for outputs nobody listens to
    bool active = false;

    ~Copy()
    {
        if (active)
            lilv_instance_deactivate(instance.get());
    }
};

Lv2Instance::Lv2Instance(Lv2World& world, const LilvPlugin* plugin)
    : m_world(world), m_plugin(plugin)
{
    {
        auto lock = m_world.lock();
        LilvNodes* required = lilv_plugin_get_required_features(m_plugin);
        LILV_FOREACH(nodes, it, required)
        {
            const char* uri = lilv_node_as_uri(lilv_nodes_get(required, it));
            const bool known =
                std::any_of(std::begin(supportedFeatures), std::end(supportedFeatures),
                            [&](const char* f) { return std::strcmp(f, uri) == 0; });
            if (!known) {
                const QString missing = QString::fromUtf8(uri);
                lilv_nodes_free(required);
                throw HostError(QStringLiteral("Das Plugin braucht die LV2-Erweiterung ") +
                                missing + QStringLiteral(", die Tolvex nicht bietet."));
            }
        }
        lilv_nodes_free(required);
        describePorts();
        m_tail = m_world.isOfClass(m_plugin, LV2_CORE__ReverbPlugin) ||
                         m_world.isOfClass(m_plugin, LV2_CORE__DelayPlugin)
                     ? 10.0
                     : 0.0;
    }
    m_silence.assign(size_t(maxBlock), 0.0f);
    // Mapped here: the URID map locks, and the run thread must not.
    m_atomSequence = m_world.urid(LV2_ATOM__Sequence);
    m_atomChunk = m_world.urid(LV2_ATOM__Chunk);
    m_options = {
        {LV2_OPTIONS_INSTANCE, 0, m_world.urid(LV2_PARAMETERS__sampleRate), sizeof(float),
         m_world.urid(LV2_ATOM__Float), &m_optionRate},
        {LV2_OPTIONS_INSTANCE, 0, m_world.urid(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t),
         m_world.urid(LV2_ATOM__Int), &m_optionMinBlock},
        {LV2_OPTIONS_INSTANCE, 0, m_world.urid(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
         m_world.urid(LV2_ATOM__Int), &m_optionMaxBlock},
        {LV2_OPTIONS_INSTANCE, 0, m_world.urid(LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t),
         m_world.urid(LV2_ATOM__Int), &m_optionNominalBlock},
        {LV2_OPTIONS_INSTANCE, 0, m_world.urid(LV2_BUF_SIZE__sequenceSize), sizeof(int32_t),
         m_world.urid(LV2_ATOM__Int), &m_optionSequenceSize},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
    };
    m_stateFolder = QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
                        .filePath(QStringLiteral("tolvex-%1/%2")
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(quintptr(this), 0, 16));
    configure(defaultRate, 1);
}

Lv2Instance::~Lv2Instance()
{
    m_copies.clear();
    if (QDir folder(m_stateFolder); folder.exists())
        folder.removeRecursively();
}

QString Lv2Instance::pluginName() const
{
    return m_world.info(m_plugin).name;
}

void Lv2Instance::describePorts()
{
    const auto& n = m_world.nodes();
    const uint32_t count = lilv_plugin_get_num_ports(m_plugin);
    m_ports.resize(count);
    std::vector<float> minimum(count), maximum(count), defaults(count);
    lilv_plugin_get_port_ranges_float(m_plugin, minimum.data(), maximum.data(), defaults.data());
    m_controlTargets = std::make_unique<std::atomic<float>[]>(count);
    m_controlInputs.assign(count, 0.0f);
    for (uint32_t i = 0; i < count; ++i) {
        const LilvPort* lilvPort = lilv_plugin_get_port_by_index(m_plugin, i);
        Port& port = m_ports[i];
        port.symbol = text(lilv_port_get_symbol(m_plugin, lilvPort));
        const bool input = lilv_port_is_a(m_plugin, lilvPort, n.inputPort);
        port.sideChain = lilv_port_has_property(m_plugin, lilvPort, n.sideChain);
        if (lilv_port_is_a(m_plugin, lilvPort, n.audioPort))
            port.kind = input ? PortKind::audioIn : PortKind::audioOut;
        else if (lilv_port_is_a(m_plugin, lilvPort, n.controlPort))
            port.kind = input ? PortKind::controlIn : PortKind::controlOut;
        else if (lilv_port_is_a(m_plugin, lilvPort, n.atomPort))
            port.kind = input ? PortKind::atomIn : PortKind::atomOut;
        else if (lilv_port_is_a(m_plugin, lilvPort, n.cvPort))
            port.kind = PortKind::cv;
        const float low = std::isnan(minimum[i]) ? 0.0f : minimum[i];
        const float high = std::isnan(maximum[i]) ? std::max(low, 1.0f) : maximum[i];
        port.minimum = low;
        port.maximum = std::max(low, high);
        port.defaultValue =
            std::isnan(defaults[i]) ? low : std::clamp(defaults[i], low, port.maximum);
        m_controlTargets[i] = port.defaultValue;
        m_controlInputs[i] = port.defaultValue;

        if (port.kind == PortKind::controlIn)
            m_controlInputPorts.push_back(i);
        if (port.kind == PortKind::atomIn || port.kind == PortKind::atomOut)
            m_atomPorts.push_back(i);
        if (port.kind == PortKind::audioIn && !port.sideChain)
            m_mainInputs.push_back(i);
        if (port.kind == PortKind::audioOut && !port.sideChain)
            m_mainOutputs.push_back(i);
        if (port.kind == PortKind::atomOut || port.kind == PortKind::atomIn) {
            if (LilvNode* size = lilv_port_get(m_plugin, lilvPort, n.minimumSize)) {
                m_atomCapacity = std::max(m_atomCapacity, size_t(lilv_node_as_int(size)));
                lilv_node_free(size);
            }
        }
    }
    if (const LilvPort* enabled =
            lilv_plugin_get_port_by_designation(m_plugin, n.inputPort, n.enabled))
        m_enabledPort = int(lilv_port_get_index(m_plugin, enabled));
    if (lilv_plugin_has_latency(m_plugin))
        m_latencyPort = int(lilv_plugin_get_latency_port_index(m_plugin));
    m_dualMono = m_mainInputs.size() == 1 && m_mainOutputs.size() == 1;
    m_optionSequenceSize = int32_t(m_atomCapacity);
}

std::unique_ptr<Lv2Instance::Copy> Lv2Instance::makeCopy(double rate)
{
    auto copy = std::make_unique<Copy>();
    auto& storage = copy->featureStorage;
    storage = {
        {LV2_URID__map, m_world.map()},
        {LV2_URID__unmap, m_world.unmap()},
        {LV2_OPTIONS__options, m_options.data()},
        {LV2_BUF_SIZE__boundedBlockLength, nullptr},
        {LV2_WORKER__schedule, copy->worker.schedule()},
        {LV2_STATE__makePath, &m_makePath},
        {LV2_LOG__log, &m_log},
    };
    for (const LV2_Feature& feature : storage)
        copy->features.push_back(&feature);
    copy->features.push_back(nullptr);

    LilvInstance* instance = nullptr;
    {
        auto lock = m_world.lock();
        instance = lilv_plugin_instantiate(m_plugin, rate, copy->features.data());
    }
    if (!instance)
        throw HostError(QStringLiteral("Das Plugin lässt sich bei ") + QString::number(rate) +
                        QStringLiteral(" Hz nicht starten."));
    copy->instance.reset(instance);
    if (lilv_plugin_has_extension_data(m_plugin, m_world.nodes().workerInterface)) {
        const auto* worker = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
        if (worker && worker->work)
            copy->worker.attach(worker, lilv_instance_get_handle(instance));
    }
    connectFixedPorts(*copy);
    return copy;
}

void Lv2Instance::connectFixedPorts(Copy& copy)
{
    LilvInstance* instance = copy.instance.get();
    copy.controlOutputs.assign(m_ports.size(), 0.0f);
    copy.atoms.assign(m_ports.size(), {});
    copy.scratch.assign(size_t(maxBlock), 0.0f);
    for (uint32_t i = 0; i < m_ports.size(); ++i) {
        switch (m_ports[i].kind) {
        case PortKind::controlIn:
            lilv_instance_connect_port(instance, i, &m_controlInputs[i]);
            break;
        case PortKind::controlOut:
            lilv_instance_connect_port(instance, i, &copy.controlOutputs[i]);
            break;
        case PortKind::atomIn:
        case PortKind::atomOut:
            copy.atoms[i].assign((m_atomCapacity + 7) / 8, 0);
            lilv_instance_connect_port(instance, i, copy.atoms[i].data());
            break;
        case PortKind::cv:
            lilv_instance_connect_port(instance, i, m_silence.data());
            break;
        case PortKind::audioIn:
            lilv_instance_connect_port(instance, i, m_silence.data());
            break;
        case PortKind::audioOut:
            lilv_instance_connect_port(instance, i, copy.scratch.data());
            break;
        case PortKind::other:
            lilv_instance_connect_port(instance, i, nullptr);
            break;
        }
    }
}

void Lv2Instance::configure(double rate, int copies)
{
    if (rate == m_rate && copies == int(m_copies.size()))
        return;
    const StatePtr saved = m_copies.empty() ? nullptr : snapshot(*m_copies.front());

    m_optionRate = float(rate);
    std::vector<std::unique_ptr<Copy>> made;
    for (int i = 0; i < copies; ++i)
        made.push_back(makeCopy(rate));
    m_copies = std::move(made);
    m_rate = rate;
    for (auto& copy : m_copies) {
        if (saved)
            restore(*saved, *copy);
        lilv_instance_activate(copy->instance.get());
        copy->active = true;
    }
}

bool Lv2Instance::setInputFormat(int bus, const AudioFormat& format)
{
    if (bus != 0 || m_mainInputs.empty())
        return false;
    if (!m_dualMono && format.channelCount() != int(m_mainInputs.size()))
        return false;
    if (!tryConfigure(format))
        return false;
    m_inputFormat = format;
    return true;
}

bool Lv2Instance::setOutputFormat(int bus, const AudioFormat& format)
{
    if (bus != 0 || m_mainOutputs.empty())
        return false;
    if (m_dualMono) {
        if (m_inputFormat && m_inputFormat->channelCount() != format.channelCount())
            return false;
    } else if (format.channelCount() != int(m_mainOutputs.size())) {
        return false;
    }
    if (!tryConfigure(format))
        return false;
    m_outputFormat = format;
    return true;
}

bool Lv2Instance::tryConfigure(const AudioFormat& format)
{
    try {
        configure(format.sampleRate(), m_dualMono ? format.channelCount() : 1);
        return true;
    } catch (const HostError&) {
        return false;
    }
}

void Lv2Instance::prepare(const AudioFormat& input, const AudioFormat& output, qint64 maxFrames,
                          bool realtime)
{
    const bool fits = input.sampleRate() == output.sampleRate() && maxFrames <= maxBlock &&
                      (m_dualMono ? input.channelCount() == output.channelCount()
                                  : input.channelCount() == int(m_mainInputs.size()) &&
                                        output.channelCount() == int(m_mainOutputs.size()));
    if (!fits)
        throw HostError(u'„' + pluginName() +
                        QStringLiteral("“ kann dieses Format nicht verarbeiten."));
    configure(input.sampleRate(), m_dualMono ? input.channelCount() : 1);
    m_inputFormat = input;
    m_outputFormat = output;
    for (auto& copy : m_copies)
        copy->worker.setRealtime(realtime);
}

void Lv2Instance::process(const AudioBuffer& input, AudioBuffer& output, qint64 frames) noexcept
{
    frames = std::min({frames, maxBlock, output.frameCapacity()});
    output.setFrameLength(frames);
    const bool bypass = m_bypass.load(std::memory_order_relaxed);
    if (bypass && m_enabledPort < 0) {
        for (int c = 0; c < output.channelCount(); ++c) {
            const float* in = input.channel(std::min(c, input.channelCount() - 1));
            std::copy_n(in, frames, output.channel(c));
        }
        return;
    }
    for (uint32_t i : m_controlInputPorts)
        m_controlInputs[i] = m_controlTargets[i].load(std::memory_order_relaxed);
    if (m_enabledPort >= 0)
        m_controlInputs[size_t(m_enabledPort)] = bypass ? 0.0f : 1.0f;

    for (size_t k = 0; k < m_copies.size(); ++k) {
        LilvInstance* instance = m_copies[k]->instance.get();
        if (m_dualMono) {
            const int channel = std::min(int(k), input.channelCount() - 1);
            lilv_instance_connect_port(instance, m_mainInputs[0],
                                       const_cast<float*>(input.channel(channel)));
            lilv_instance_connect_port(instance, m_mainOutputs[0],
                                       output.channel(std::min(int(k), output.channelCount() - 1)));
        } else {
            for (size_t i = 0; i < m_mainInputs.size(); ++i)
                lilv_instance_connect_port(instance, m_mainInputs[i],
                                           int(i) < input.channelCount()
                                               ? const_cast<float*>(input.channel(int(i)))
                                               : m_silence.data());
            for (size_t i = 0; i < m_mainOutputs.size(); ++i)
                lilv_instance_connect_port(instance, m_mainOutputs[i],
                                           int(i) < output.channelCount()
                                               ? output.channel(int(i))
                                               : m_copies[k]->scratch.data());
        }
        runCopy(*m_copies[k], frames);
    }
}

void Lv2Instance::runCopy(Copy& copy, qint64 frames) noexcept
{
    const LV2_URID sequence = m_atomSequence;
    const LV2_URID chunk = m_atomChunk;
    for (uint32_t i : m_atomPorts) {
        auto* atom = reinterpret_cast<LV2_Atom_Sequence*>(copy.atoms[i].data());
        if (m_ports[i].kind == PortKind::atomIn) {
            atom->atom.size = sizeof(LV2_Atom_Sequence_Body);
            atom->atom.type = sequence;
            atom->body.unit = 0;
            atom->body.pad = 0;
        } else {
            atom->atom.size = uint32_t(copy.atoms[i].size() * 8 - sizeof(LV2_Atom));
            atom->atom.type = chunk;
        }
    }
    copy.worker.deliverResponses();
    lilv_instance_run(copy.instance.get(), uint32_t(frames));
    copy.worker.endRun();
}

double Lv2Instance::latency() const
{
    if (m_latencyPort < 0 || m_copies.empty())
        return 0;
    // The latency port is written by run(). A probe copy with the same state
    // runs a short silent block, so the instance itself starts untouched.
    auto* self = const_cast<Lv2Instance*>(this);
    std::unique_ptr<Copy> probe;
    try {
        probe = self->makeCopy(m_rate);
    } catch (const HostError&) {
        return 0;
    }
    if (const StatePtr state = snapshot(*m_copies.front()))
        self->restore(*state, *probe);
    lilv_instance_activate(probe->instance.get());
    probe->active = true;
    for (uint32_t port : m_mainInputs)
        lilv_instance_connect_port(probe->instance.get(), port, self->m_silence.data());
    for (uint32_t port : m_mainOutputs)
        lilv_instance_connect_port(probe->instance.get(), port, probe->scratch.data());
    for (uint32_t i : m_controlInputPorts)
        self->m_controlInputs[i] = m_controlTargets[i].load();
    self->runCopy(*probe, 64);
    const float frames = probe->controlOutputs[size_t(m_latencyPort)];
    return std::isfinite(frames) && frames > 0 ? double(frames) / m_rate : 0.0;
}

Lv2Instance::StatePtr Lv2Instance::snapshot(const Copy& copy) const
{
    auto lock = m_world.lock();
    return StatePtr(lilv_state_new_from_instance(
        m_plugin, copy.instance.get(), m_world.map(), nullptr, nullptr, nullptr, nullptr,
        &Lv2Instance::portValue, const_cast<Lv2Instance*>(this),
        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, copy.features.data()));
}

void Lv2Instance::restore(const LilvState& state, Copy& copy)
{
    // The ports are not restored here: their values live in the targets,
    // which every copy shares.
    auto lock = m_world.lock();
    lilv_state_restore(&state, copy.instance.get(), nullptr, nullptr, 0, copy.features.data());
}

QList<PluginParameter> Lv2Instance::parameters() const
{
    const auto& n = m_world.nodes();
    QList<PluginParameter> list;
    auto lock = m_world.lock();
    for (uint32_t i = 0; i < m_ports.size(); ++i) {
        const Port& port = m_ports[i];
        if (port.kind != PortKind::controlIn || int(i) == m_enabledPort)
            continue;
        const LilvPort* lilvPort = lilv_plugin_get_port_by_index(m_plugin, i);
        PluginParameter parameter;
        parameter.symbol = port.symbol;
        LilvNode* name = lilv_port_get_name(m_plugin, lilvPort);
        parameter.name = text(name);
        lilv_node_free(name);
        parameter.minimum = port.minimum;
        parameter.maximum = port.maximum;
        parameter.defaultValue = port.defaultValue;
        parameter.value = m_controlTargets[i].load();
        parameter.integer = lilv_port_has_property(m_plugin, lilvPort, n.integer);
        parameter.toggle = lilv_port_has_property(m_plugin, lilvPort, n.toggled);
        parameter.enumeration = lilv_port_has_property(m_plugin, lilvPort, n.enumeration);
        parameter.logarithmic = lilv_port_has_property(m_plugin, lilvPort, n.logarithmic);
        if (LilvNode* unit = lilv_port_get(m_plugin, lilvPort, n.unitsUnit)) {
            LilvNode* symbol = lilv_world_get(m_world.world(), unit, n.unitsSymbol, nullptr);
            parameter.unit = text(symbol);
            lilv_node_free(symbol);
            lilv_node_free(unit);
        }
        if (LilvScalePoints* points = lilv_port_get_scale_points(m_plugin, lilvPort)) {
            LILV_FOREACH(scale_points, it, points)
            {
                const LilvScalePoint* point = lilv_scale_points_get(points, it);
                parameter.labels.append({lilv_node_as_float(lilv_scale_point_get_value(point)),
                                         text(lilv_scale_point_get_label(point))});
            }
            lilv_scale_points_free(points);
            std::stable_sort(parameter.labels.begin(), parameter.labels.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        list.append(std::move(parameter));
    }
    return list;
}

int Lv2Instance::portIndex(const char* symbol) const
{
    const QString wanted = QString::fromUtf8(symbol);
    for (size_t i = 0; i < m_ports.size(); ++i)
        if (m_ports[i].symbol == wanted)
            return int(i);
    return -1;
}

bool Lv2Instance::setParameter(const QString& symbol, float value)
{
    const int index = portIndex(symbol.toUtf8().constData());
    if (index < 0 || m_ports[size_t(index)].kind != PortKind::controlIn || std::isnan(value))
        return false;
    const Port& port = m_ports[size_t(index)];
    m_controlTargets[size_t(index)] = std::clamp(value, port.minimum, port.maximum);
    return true;
}

const void* Lv2Instance::portValue(const char* symbol, void* user, uint32_t* size, uint32_t* type)
{
    auto* self = static_cast<Lv2Instance*>(user);
    const int index = self->portIndex(symbol);
    if (index < 0 || self->m_ports[size_t(index)].kind != PortKind::controlIn) {
        *size = 0;
        *type = 0;
        return nullptr;
    }
    // Read on the calling thread; the buffer entry is only used for this call.
    static thread_local float value;
    value = self->m_controlTargets[size_t(index)].load();
    *size = sizeof(float);
    *type = self->m_world.urid(LV2_ATOM__Float);
    return &value;
}

void Lv2Instance::setPortValue(const char* symbol, void* user, const void* value, uint32_t size,
                               uint32_t type)
{
    auto* self = static_cast<Lv2Instance*>(user);
    const int index = self->portIndex(symbol);
    if (index < 0 || self->m_ports[size_t(index)].kind != PortKind::controlIn)
        return;
    Lv2World& world = self->m_world;
    float number = 0;
    if (type == world.urid(LV2_ATOM__Float) && size == sizeof(float))
        std::memcpy(&number, value, sizeof(float));
    else if (type == world.urid(LV2_ATOM__Double) && size == sizeof(double))
        number = float(*static_cast<const double*>(value));
    else if (type == world.urid(LV2_ATOM__Int) && size == sizeof(int32_t))
        number = float(*static_cast<const int32_t*>(value));
    else if (type == world.urid(LV2_ATOM__Long) && size == sizeof(int64_t))
        number = float(*static_cast<const int64_t*>(value));
    else if (type == world.urid(LV2_ATOM__Bool) && size == sizeof(int32_t))
        number = *static_cast<const int32_t*>(value) ? 1.0f : 0.0f;
    else
        return;
    const Port& port = self->m_ports[size_t(index)];
    self->m_controlTargets[size_t(index)] = std::clamp(number, port.minimum, port.maximum);
}

char* Lv2Instance::makePath(LV2_State_Make_Path_Handle handle, const char* path)
{
    auto* self = static_cast<Lv2Instance*>(handle);
    const QString full = QDir(self->m_stateFolder).filePath(QString::fromUtf8(path));
    QDir().mkpath(QFileInfo(full).absolutePath());
    return strdup(full.toUtf8().constData());
}

std::optional<PropertyDictionary> Lv2Instance::fullState() const
{
    if (m_copies.empty())
        return std::nullopt;
    const StatePtr state = snapshot(*m_copies.front());
    if (!state)
        return std::nullopt;
    char* turtle = nullptr;
    {
        auto lock = m_world.lock();
        turtle = lilv_state_to_string(m_world.world(), m_world.map(), m_world.unmap(), state.get(),
                                      stateSubject, nullptr);
    }
    if (!turtle)
        return std::nullopt;
    PropertyDictionary dictionary{
        {QStringLiteral("uri"), QString::fromUtf8(lilv_node_as_uri(lilv_plugin_get_uri(m_plugin)))},
        {QStringLiteral("state"), QString::fromUtf8(turtle)},
    };
    lilv_free(turtle);
    return dictionary;
}

void Lv2Instance::setFullState(const PropertyDictionary& dictionary)
{
    const QString uri = QString::fromUtf8(lilv_node_as_uri(lilv_plugin_get_uri(m_plugin)));
    if (dictionary.value(QStringLiteral("uri")).toString() != uri)
        return; // another plugin's state
    const QByteArray turtle = dictionary.value(QStringLiteral("state")).toString().toUtf8();
    if (turtle.isEmpty())
        return;
    StatePtr state;
    {
        auto lock = m_world.lock();
        state.reset(lilv_state_new_from_string(m_world.world(), m_world.map(), turtle.constData()));
    }
    if (!state)
        return;
    lilv_state_emit_port_values(state.get(), &Lv2Instance::setPortValue, this);
    for (auto& copy : m_copies)
        restore(*state, *copy);
}

void Lv2Instance::requestEditorView(EditorCompletion completion)
{
    // Plugin interfaces are embedded by the editor windows; until then every
    // plugin gets the generic parameter editor. The global pool is waited
    // for when the application ends.
    QThreadPool::globalInstance()->start(
        [completion = std::move(completion)] { completion(nullptr); });
}

} // namespace tolvex::host
