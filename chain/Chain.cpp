#include "chain/Chain.h"

#include "host/PropertyList.h"
#include "model/ChainDocument.h"
#include "render/ChainBuffers.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <coroutine>

namespace tolvex::chain {

namespace {

const QString chainKey = QStringLiteral("chain");

/// co_await-able instantiation: the host's completion arrives on another
/// thread and only hands its result over; the coroutine resumes on the GUI
/// thread.
struct Instantiate {
    host::AudioHost& host;
    model::PluginId codes;
    std::shared_ptr<std::optional<host::Instantiation>> result =
        std::make_shared<std::optional<host::Instantiation>>();

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle)
    {
        host.instantiate(codes, [result = result, handle](host::Instantiation made) {
            *result = std::move(made);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [handle] { handle.resume(); }, Qt::QueuedConnection);
        });
    }
    host::Instantiation await_resume() { return std::move(**result); }
};

} // namespace

Chain::Chain(host::AudioHost& host, QSettings& settings, QObject* parent)
    : QObject(parent), m_host(host), m_settings(settings), m_engine(host.makeRealtimeEngine()),
      m_player(host.makePlayerNode()),
      m_preview(host, *m_engine, *m_player,
                [this](const host::AudioFormat& format) { return wireForPreview(format); })
{
    connect(&m_preview, &Preview::playingIDChanged, this, &Chain::playingIDChanged);
    connect(&m_preview, &Preview::failed, this, &Chain::setLastError);
    m_engine->attach(*m_player);
    rescan();
    restoreSaved();
}

Chain::~Chain()
{
    stop();
    m_windows.clear();
    for (auto& slot : m_slots)
        m_engine->detach(slot->unit());
    m_engine->detach(*m_player);
}

QList<Slot*> Chain::slots() const
{
    QList<Slot*> list;
    for (const auto& slot : m_slots)
        list.append(slot.get());
    return list;
}

void Chain::rescan()
{
    // At construction this is the host's first scan; a real host scans when
    // first asked, so the start costs one scan, not two.
    m_host.rescan();
    QList<model::PluginInfo> found = m_host.components(model::effectType);
    found.append(m_host.components(model::musicEffectType));
    sortCatalogue(found);
    m_available = std::move(found);
    Q_EMIT availableChanged();
}

void Chain::setLastError(const QString& message)
{
    m_lastError = message;
    Q_EMIT lastErrorChanged(message);
}

void Chain::setLoading(bool loading)
{
    if (m_loading == loading)
        return;
    m_loading = loading;
    Q_EMIT loadingChanged(loading);
}

void Chain::setCompareOriginal(bool compare)
{
    m_compareOriginal = compare;
    Q_EMIT compareOriginalChanged(compare);
    applyBypass();
}

QCoro::Task<> Chain::addPlugin(model::PluginInfo info,
                               std::optional<host::PropertyDictionary> state, bool bypass,
                               bool openEditor)
{
    const QPointer<Chain> alive(this);
    setLoading(true);
    // A named awaiter: GCC 12 destroys a temporary one twice.
    Instantiate instantiation{m_host, info.codes};
    host::Instantiation made = co_await instantiation;
    if (!alive)
        co_return; // the chain is gone; the instance goes with `made`
    auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&made);
    if (!instance || !*instance) {
        setLastError(u'„' + info.name + QStringLiteral("“ lässt sich nicht laden."));
        setLoading(false);
        co_return;
    }
    if (state)
        (*instance)->setFullState(*state);
    stop();
    m_engine->attach(**instance);
    auto slot = std::make_unique<Slot>(std::move(info), std::move(*instance), bypass);
    slot->unit().setBypass(bypass);
    Slot* added = slot.get();
    m_slots.push_back(std::move(slot));
    Q_EMIT slotsChanged();
    applyBypass();
    save();
    if (openEditor)
        this->openEditor(*added);
    setLoading(false);
}

void Chain::removeSlot(Slot* slot)
{
    stop();
    const QUuid id = slot->id();
    if (auto window = m_windows.extract(id)) // its close handler finds no entry and saves
        window.mapped()->close();
    m_engine->detach(slot->unit());
    std::erase_if(m_slots, [&](const auto& s) { return s->id() == id; });
    Q_EMIT slotsChanged();
    save();
}

void Chain::clear()
{
    for (Slot* slot : slots())
        removeSlot(slot);
}

void Chain::applyBypass()
{
    for (const auto& slot : m_slots)
        slot->unit().setBypass(slot->bypass() || m_compareOriginal);
}

void Chain::moveSlots(const QList<int>& offsets, int destination)
{
    stop();
    QList<int> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::unique_ptr<Slot>> moving;
    int before = 0;
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        if (*it < 0 || *it >= int(m_slots.size()))
            continue;
        moving.insert(moving.begin(), std::move(m_slots[size_t(*it)]));
        m_slots.erase(m_slots.begin() + *it);
        before += *it < destination;
    }
    const int at = std::clamp(destination - before, 0, int(m_slots.size()));
    m_slots.insert(m_slots.begin() + at, std::make_move_iterator(moving.begin()),
                   std::make_move_iterator(moving.end()));
    Q_EMIT slotsChanged();
    save();
}

void Chain::rewire(const host::AudioFormat& format)
{
    m_engine->disconnectOutput(*m_player);
    for (const auto& slot : m_slots)
        m_engine->disconnectOutput(slot->unit());
    host::AudioNode* previous = m_player.get();
    for (const auto& slot : m_slots) {
        m_engine->connect(*previous, slot->unit(), format);
        previous = &slot->unit();
    }
    m_engine->connect(*previous, m_engine->mainMixer(), format);
}

model::PluginState Chain::captureState(const Slot& slot) const
{
    std::optional<QByteArray> blob;
    if (const auto state = slot.unit().fullState())
        blob = host::writeBinaryPropertyList(*state);
    return model::PluginState::from(slot.info(), slot.bypass(), std::move(blob));
}

void Chain::save()
{
    if (m_restoring) {
        m_saveDeferred = true;
        return;
    }
    QList<model::PluginState> states;
    for (const auto& slot : m_slots)
        states.append(captureState(*slot));
    m_settings.setValue(chainKey, model::encodeChain(states));
}

QList<model::PluginState> Chain::renderStates() const
{
    QList<model::PluginState> states;
    for (const auto& slot : m_slots)
        if (!slot->bypass())
            states.append(captureState(*slot));
    return states;
}

QCoro::Task<> Chain::load(QList<model::PluginState> states)
{
    const QPointer<Chain> alive(this);
    clear();
    for (const model::PluginState& record : states) {
        std::optional<host::PropertyDictionary> state;
        if (record.state)
            state = host::readPropertyList(*record.state);
        co_await addPlugin(record.info(), std::move(state), record.bypass, false);
        if (!alive)
            co_return;
    }
}

void Chain::restoreSaved()
{
    if (!m_settings.contains(chainKey))
        return;
    auto states = model::decodeChain(m_settings.value(chainKey).toByteArray());
    if (!states)
        return; // left as it is until the next save replaces it
    restore(std::move(*states));
}

QCoro::Task<> Chain::restore(QList<model::PluginState> states)
{
    const QPointer<Chain> alive(this);
    m_restoring = true;
    m_saveDeferred = false;
    co_await load(std::move(states));
    if (!alive)
        co_return;
    m_restoring = false;
    // Plugins that failed to load are dropped from the record now; when none
    // loaded and nothing else changed, the record stays as it was.
    if (m_saveDeferred)
        save();
}

bool Chain::wireForPreview(const host::AudioFormat& format)
{
    std::vector<host::PluginInstance*> units;
    for (const auto& slot : m_slots)
        units.push_back(&slot->unit());
    const bool accepted = m_slots.empty() || render::applyChainFormat(format, units);
    rewire(format);
    return accepted;
}

void Chain::openEditor(Slot& slot)
{
    if (const auto window = m_windows.find(slot.id()); window != m_windows.end()) {
        window->second->raise();
        return;
    }
    if (m_openEditor)
        m_openEditor(*this, slot);
}

void Chain::registerEditor(const QUuid& slotId, std::unique_ptr<EditorWindow> window)
{
    const bool present = std::any_of(m_slots.begin(), m_slots.end(),
                                     [&](const auto& slot) { return slot->id() == slotId; });
    if (present && !m_windows.contains(slotId))
        m_windows.emplace(slotId, std::move(window));
}

void Chain::editorClosed(const QUuid& slotId)
{
    m_windows.erase(slotId);
    save();
}

} // namespace tolvex::chain
