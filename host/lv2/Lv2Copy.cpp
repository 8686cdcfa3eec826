#include "host/lv2/Lv2Copy.h"

#include "host/HostError.h"

#include <lv2/atom/util.h>

#include <cstring>

#include <dlfcn.h>

namespace tolvex::host {

namespace {

constexpr size_t maxBlock = 4096;

/// Why lilv could not make the plugin when its library is at fault: the
/// loader's words when the library does not open (missing, damaged, or
/// built without a library it needs). Empty when the library opens and the
/// plugin itself refused.
QString libraryFault(const LilvPlugin* plugin)
{
    const LilvNode* library = lilv_plugin_get_library_uri(plugin);
    char* path = library ? lilv_file_uri_parse(lilv_node_as_uri(library), nullptr) : nullptr;
    if (!path)
        return QStringLiteral("keine Datei angegeben");
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    lilv_free(path);
    if (handle) {
        dlclose(handle);
        return {};
    }
    const char* error = dlerror();
    return error ? QString::fromLocal8Bit(error) : QStringLiteral("unbekannter Fehler");
}

} // namespace

Lv2Copy::Lv2Copy(Lv2World& world, const LilvPlugin* plugin, const Lv2Ports& ports,
                 const Lv2Features& features, double rate, float* controls, const float* silence)
    : m_ports(ports), m_atomSequence(world.urid(LV2_ATOM__Sequence)),
      m_atomChunk(world.urid(LV2_ATOM__Chunk))
{
    m_features = features.forCopy(m_worker.schedule());
    for (const LV2_Feature& feature : m_features)
        m_featureList.push_back(&feature);
    m_featureList.push_back(nullptr);
    bool hasWorker = false;
    {
        auto lock = world.lock();
        m_instance = world.own(lilv_plugin_instantiate(plugin, rate, m_featureList.data()));
        hasWorker = lilv_plugin_has_extension_data(plugin, world.nodes().workerInterface);
    }
    if (!m_instance) {
        const QString name = u'„' + world.info(plugin).name + u'“';
        if (const QString fault = libraryFault(plugin); !fault.isEmpty())
            throw HostError(name +
                            QStringLiteral(" lässt sich nicht laden: Seine Programmbibliothek "
                                           "lässt sich nicht öffnen (") +
                            fault + QStringLiteral(")."));
        throw HostError(name + QStringLiteral(" lässt sich bei ") + QString::number(rate) +
                        QStringLiteral(" Hz nicht starten."));
    }
    if (hasWorker) {
        const auto* worker = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(m_instance.get(), LV2_WORKER__interface));
        if (worker && worker->work)
            m_worker.attach(worker, lilv_instance_get_handle(m_instance.get()));
    }
    connectFixedPorts(controls, silence);
}

Lv2Copy::~Lv2Copy()
{
    if (m_active)
        lilv_instance_deactivate(m_instance.get());
}

void Lv2Copy::activate()
{
    lilv_instance_activate(m_instance.get());
    m_active = true;
}

void Lv2Copy::restart()
{
    if (m_active)
        lilv_instance_deactivate(m_instance.get());
    activate();
}

void Lv2Copy::connectFixedPorts(float* controls, const float* silence)
{
    using Kind = Lv2Ports::Kind;
    m_controlOutputs.assign(m_ports.size(), 0.0f);
    m_atoms.assign(m_ports.size(), {});
    m_scratch.assign(maxBlock, 0.0f);
    for (uint32_t i = 0; i < m_ports.size(); ++i) {
        void* buffer = nullptr;
        switch (m_ports[i].kind) {
        case Kind::controlIn:
            buffer = &controls[i];
            break;
        case Kind::controlOut:
            buffer = &m_controlOutputs[i];
            break;
        case Kind::atomIn:
        case Kind::atomOut:
            m_atoms[i].assign((m_ports.atomCapacity() + 7) / 8, 0);
            buffer = m_atoms[i].data();
            break;
        case Kind::cvIn:
        case Kind::audioIn:
            buffer = const_cast<float*>(silence);
            break;
        case Kind::cvOut:
        case Kind::audioOut:
            buffer = m_scratch.data();
            break;
        case Kind::other:
            break;
        }
        lilv_instance_connect_port(m_instance.get(), i, buffer);
    }
}

void Lv2Copy::connect(uint32_t port, const float* data) noexcept
{
    // Inputs are never written by a plugin; lilv only takes a void*.
    lilv_instance_connect_port(m_instance.get(), port, const_cast<float*>(data));
}

void Lv2Copy::clearAtoms() noexcept
{
    for (uint32_t i : m_ports.atomPorts()) {
        auto* atom = reinterpret_cast<LV2_Atom_Sequence*>(m_atoms[i].data());
        if (m_ports[i].kind == Lv2Ports::Kind::atomIn) {
            atom->atom.size = sizeof(LV2_Atom_Sequence_Body);
            atom->atom.type = m_atomSequence;
            atom->body.unit = 0;
            atom->body.pad = 0;
        } else {
            atom->atom.size = uint32_t(m_atoms[i].size() * 8 - sizeof(LV2_Atom));
            atom->atom.type = m_atomChunk;
        }
    }
}

bool Lv2Copy::appendEvent(uint32_t port, const LV2_Atom& atom) noexcept
{
    if (port >= m_ports.size() || m_ports[port].kind != Lv2Ports::Kind::atomIn)
        return false;
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(m_atoms[port].data());
    const size_t capacity = m_atoms[port].size() * 8;
    const size_t used = sizeof(LV2_Atom) + lv2_atom_pad_size(sequence->atom.size);
    const size_t needed = sizeof(LV2_Atom_Event) + atom.size;
    if (used + needed > capacity)
        return false;
    auto* event = reinterpret_cast<LV2_Atom_Event*>(reinterpret_cast<char*>(sequence) + used);
    event->time.frames = 0;
    std::memcpy(&event->body, &atom, sizeof(LV2_Atom) + atom.size);
    sequence->atom.size = uint32_t(lv2_atom_pad_size(sequence->atom.size) + needed);
    return true;
}

void Lv2Copy::runCleared(uint32_t frames) noexcept
{
    m_worker.deliverResponses();
    lilv_instance_run(m_instance.get(), frames);
    m_worker.endRun();
}

} // namespace tolvex::host
