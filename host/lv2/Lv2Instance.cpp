#include "host/lv2/Lv2Instance.h"

#include "host/HostError.h"
#include "host/lv2/Lv2EditorView.h"
#include "host/lv2/Lv2UiChoice.h"

#include <lv2/atom/util.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <cmath>

namespace tolvex::host {

namespace {

constexpr double defaultRate = 48000;
constexpr qint64 maxBlock = 4096;

/// The instance's own folder for make_path: inside the host's folder, or in
/// the temporary folder when the host could not make one.
QString stateFolderFor(const void* instance, const QTemporaryDir* root)
{
    const QString name = QString::number(quintptr(instance), 16);
    if (root && root->isValid())
        return QDir(root->path()).filePath(name);
    return QDir::temp().filePath(
        QStringLiteral("tolvex-%1-%2").arg(QCoreApplication::applicationPid()).arg(name));
}

} // namespace

Lv2Instance::Lv2Instance(std::shared_ptr<Lv2World> world, const LilvPlugin* plugin,
                         std::shared_ptr<const QTemporaryDir> stateRoot)
    : m_world(std::move(world)), m_stateRoot(std::move(stateRoot)), m_plugin(plugin),
      m_name(m_world->info(plugin).name), m_stateFolder(stateFolderFor(this, m_stateRoot.get())),
      m_ports(*m_world, plugin), m_features(*m_world, m_stateFolder, m_ports.atomCapacity()),
      m_state(*m_world, plugin, m_ports), m_uiLink(m_ports.atomCapacity())
{
    {
        auto lock = m_world->lock();
        if (const QString missing = Lv2Features::missing(m_plugin); !missing.isEmpty())
            throw HostError(u'„' + m_name + QStringLiteral("“ braucht die LV2-Erweiterung ") +
                            missing + QStringLiteral(", die Tolvex nicht bietet."));
        m_tail = m_world->isOfClass(m_plugin, LV2_CORE__ReverbPlugin) ||
                         m_world->isOfClass(m_plugin, LV2_CORE__DelayPlugin)
                     ? 10.0
                     : 0.0;
    }
    m_controls.assign(m_ports.size(), 0.0f);
    m_ports.fill(m_controls.data(), true);
    m_silence.assign(size_t(maxBlock), 0.0f);
    configure(defaultRate, 1);
}

Lv2Instance::~Lv2Instance()
{
    m_copies.clear();
    if (QDir folder(m_stateFolder); folder.exists())
        folder.removeRecursively();
}

void Lv2Instance::configure(double rate, int copies)
{
    if (rate == m_rate && copies == int(m_copies.size()))
        return;
    const LilvStatePtr saved = m_copies.empty() ? nullptr : m_state.capture(*m_copies.front());
    m_features.setRate(rate);
    std::vector<std::unique_ptr<Lv2Copy>> made;
    for (int i = 0; i < copies; ++i)
        made.push_back(std::make_unique<Lv2Copy>(*m_world, m_plugin, m_ports, m_features, rate,
                                                 m_controls.data(), m_silence.data()));
    m_copies = std::move(made);
    m_rate = rate;
    for (auto& copy : m_copies) {
        if (saved)
            m_state.restore(*saved, *copy);
        copy->activate();
    }
    ++m_reconfigured;
}

bool Lv2Instance::hasMainPorts() const
{
    return !m_ports.mainInputs().empty() && !m_ports.mainOutputs().empty();
}

ChannelShape Lv2Instance::shapeFor(int channels) const
{
    return ChannelShape(int(m_ports.mainInputs().size()), int(m_ports.mainOutputs().size()),
                        channels);
}

bool Lv2Instance::setInputFormat(int bus, const AudioFormat& format)
{
    if (bus != 0 || !hasMainPorts() || !tryConfigure(format))
        return false;
    m_inputFormat = format;
    return true;
}

bool Lv2Instance::setOutputFormat(int bus, const AudioFormat& format)
{
    if (bus != 0 || !hasMainPorts())
        return false;
    if (m_inputFormat && m_inputFormat->channelCount() != format.channelCount())
        return false;
    if (!tryConfigure(format))
        return false;
    m_outputFormat = format;
    return true;
}

bool Lv2Instance::tryConfigure(const AudioFormat& format)
{
    try {
        configure(format.sampleRate(), shapeFor(format.channelCount()).copies());
        return true;
    } catch (const HostError&) {
        return false;
    }
}

void Lv2Instance::prepare(const AudioFormat& input, const AudioFormat& output, qint64 maxFrames,
                          bool realtime)
{
    const bool fits = hasMainPorts() && input.sampleRate() == output.sampleRate() &&
                      maxFrames <= maxBlock && input.channelCount() == output.channelCount();
    if (!fits)
        throw HostError(u'„' + m_name + QStringLiteral("“ kann dieses Format nicht verarbeiten."));
    const ChannelShape shape = shapeFor(input.channelCount());
    configure(input.sampleRate(), shape.copies());
    m_inputFormat = input;
    m_outputFormat = output;
    m_shape = shape;
    if (shape.direct()) {
        m_mean = {};
        m_portOutputs = {};
    } else {
        m_mean.assign(size_t(maxBlock), 0.0f);
        m_portOutputs.assign(m_ports.mainOutputs().size(), std::vector<float>(size_t(maxBlock)));
    }
    // Each run starts afresh: a preview started again, or at another place,
    // must not begin with what the plugins still hold of the last one. Not
    // a plugin with a worker: its work may still be under way.
    const bool ran = m_ran.exchange(false, std::memory_order_relaxed);
    for (auto& copy : m_copies) {
        if (ran && !copy->worker().attached())
            copy->restart();
        copy->worker().setRealtime(realtime);
    }
}

void Lv2Instance::process(const AudioBuffer& input, AudioBuffer& output, qint64 frames) noexcept
{
    frames = std::min({frames, maxBlock, output.frameCapacity()});
    output.setFrameLength(frames);
    m_ran.store(true, std::memory_order_relaxed);
    const bool bypass = m_bypass.load(std::memory_order_relaxed);
    if (bypass && m_ports.enabledPort() < 0) {
        for (int c = 0; c < output.channelCount(); ++c) {
            const float* in = input.channel(std::min(c, input.channelCount() - 1));
            std::copy_n(in, frames, output.channel(c));
        }
        return;
    }
    if (!m_shape || m_shape->copies() != int(m_copies.size()) ||
        input.channelCount() != m_shape->channels() ||
        output.channelCount() != m_shape->channels()) {
        // Not prepared for this sound: silence rather than a guess.
        for (int c = 0; c < output.channelCount(); ++c)
            std::fill_n(output.channel(c), frames, 0.0f);
        return;
    }
    m_ports.fill(m_controls.data(), !bypass);
    m_uiLink.takeForBlock();
    if (!m_shape->direct())
        mixInputs(input, frames);
    for (size_t k = 0; k < m_copies.size(); ++k) {
        Lv2Copy& copy = *m_copies[k];
        copy.clearAtoms();
        m_uiLink.forEachTaken(
            [&copy](uint32_t port, const LV2_Atom& atom) { copy.appendEvent(port, atom); });
        connectMain(copy, k, input, output);
        copy.runCleared(uint32_t(frames));
        m_ports.report(copy.controlOutputs(), k == 0);
    }
    if (!m_shape->direct())
        spreadOutputs(output, frames);
    forwardNotifications();
}

void Lv2Instance::forwardNotifications() noexcept
{
    if (m_copies.empty())
        return;
    const LV2_URID sequenceType = m_copies.front()->atomSequenceType();
    for (uint32_t port : m_ports.atomPorts()) {
        if (m_ports[port].kind != Lv2Ports::Kind::atomOut)
            continue;
        const LV2_Atom_Sequence& sequence = m_copies.front()->atomOutput(port);
        if (sequence.atom.type != sequenceType)
            continue; // the plugin wrote nothing
        LV2_ATOM_SEQUENCE_FOREACH(&sequence, event)
        {
            m_uiLink.sendToUi(port, event->body);
        }
    }
}

void Lv2Instance::connectMain(Lv2Copy& copy, size_t index, const AudioBuffer& input,
                              AudioBuffer& output) noexcept
{
    const auto& inputs = m_ports.mainInputs();
    const auto& outputs = m_ports.mainOutputs();
    if (m_shape->direct() && m_shape->copies() > 1) {
        copy.connect(inputs[0], input.channel(int(index)));
        copy.connect(outputs[0], output.channel(int(index)));
        return;
    }
    if (m_shape->direct()) {
        for (size_t i = 0; i < inputs.size(); ++i)
            copy.connect(inputs[i], input.channel(int(i)));
        for (size_t i = 0; i < outputs.size(); ++i)
            copy.connect(outputs[i], output.channel(int(i)));
        return;
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        const ChannelShape::Feed feed = m_shape->feed(int(i));
        const float* data = feed.kind == ChannelShape::Feed::Kind::channel
                                ? input.channel(feed.channel)
                            : feed.kind == ChannelShape::Feed::Kind::mean ? m_mean.data()
                                                                          : m_silence.data();
        copy.connect(inputs[i], data);
    }
    for (size_t i = 0; i < outputs.size(); ++i)
        copy.connect(outputs[i], m_portOutputs[i].data());
}

void Lv2Instance::mixInputs(const AudioBuffer& input, qint64 frames) noexcept
{
    const float scale = 1.0f / float(input.channelCount());
    std::copy_n(input.channel(0), frames, m_mean.data());
    for (int c = 1; c < input.channelCount(); ++c) {
        const float* in = input.channel(c);
        for (qint64 i = 0; i < frames; ++i)
            m_mean[size_t(i)] += in[i];
    }
    for (qint64 i = 0; i < frames; ++i)
        m_mean[size_t(i)] *= scale;
}

void Lv2Instance::spreadOutputs(AudioBuffer& output, qint64 frames) noexcept
{
    for (int c = 0; c < output.channelCount(); ++c) {
        float* out = output.channel(c);
        const int source = m_shape->source(c);
        if (source == ChannelShape::meanOfTwo) {
            const float* a = m_portOutputs[0].data();
            const float* b = m_portOutputs[1].data();
            for (qint64 i = 0; i < frames; ++i)
                out[i] = 0.5f * (a[i] + b[i]);
        } else {
            std::copy_n(m_portOutputs[size_t(source)].data(), frames, out);
        }
    }
}

double Lv2Instance::latency() const
{
    if (m_ports.latencyPort() < 0 || m_copies.empty())
        return 0;
    std::lock_guard lock(m_latencyMutex);
    const quint64 key = m_ports.changes() + m_reconfigured.load();
    if (key != m_latencyKey) {
        m_latency = measureLatency();
        m_latencyKey = key;
    }
    return m_latency;
}

double Lv2Instance::measureLatency() const
{
    // The latency port is written by run(). A probe with the instance's
    // state and controls runs one short silent block, on buffers of its own:
    // the instance is not run for it (a limiter's first block would change)
    // and may go on processing on another thread meanwhile.
    std::vector<float> controls(m_ports.size(), 0.0f);
    m_ports.fill(controls.data(), true);
    try {
        Lv2Copy probe(*m_world, m_plugin, m_ports, m_features, m_rate, controls.data(),
                      m_silence.data());
        if (const LilvStatePtr state = m_state.capture(*m_copies.front()))
            m_state.restore(*state, probe);
        probe.activate();
        probe.run(64);
        const float frames = probe.controlOutput(uint32_t(m_ports.latencyPort()));
        return std::isfinite(frames) && frames > 0 ? double(frames) / m_rate : 0.0;
    } catch (const HostError&) {
        return 0;
    }
}

bool Lv2Instance::setParameter(const QString& symbol, float value)
{
    return m_ports.setTarget(m_ports.indexOf(symbol.toUtf8().constData()), value);
}

float Lv2Instance::value(const QString& symbol) const
{
    return m_ports.value(m_ports.indexOf(symbol.toUtf8().constData()));
}

std::optional<PropertyDictionary> Lv2Instance::fullState() const
{
    if (m_copies.empty())
        return std::nullopt;
    const LilvStatePtr state = m_state.capture(*m_copies.front());
    return state ? m_state.toDictionary(*state) : std::nullopt;
}

void Lv2Instance::setFullState(const PropertyDictionary& dictionary)
{
    const LilvStatePtr state = m_state.fromDictionary(dictionary);
    if (!state)
        return;
    for (auto& copy : m_copies)
        m_state.restore(*state, *copy);
    ++m_reconfigured;
}

void Lv2Instance::requestEditorView(EditorCompletion completion)
{
    // Interfaces are X11 windows: without an X11 display (offscreen, or a
    // Wayland session without XWayland) every plugin gets the generic
    // editor. The platform is asked here, on the caller's thread; Qt Gui's
    // QGuiApplication answers through its property.
    const QCoreApplication* application = QCoreApplication::instance();
    const bool display =
        application && application->property("platformName").toString() == QLatin1String("xcb");
    // The view only keeps the instance; it touches it on the GUI thread once
    // made, and is dropped unused when its slot has gone meanwhile. The
    // global pool is waited for when the application ends.
    QThreadPool::globalInstance()->start([this, display, world = m_world, plugin = m_plugin,
                                          completion = std::move(completion)] {
        std::optional<Lv2UiChoice> choice;
        if (display)
            choice = Lv2UiChoice::find(*world, plugin);
        completion(choice ? std::make_unique<Lv2EditorView>(*this, std::move(*choice)) : nullptr);
    });
}

} // namespace tolvex::host
