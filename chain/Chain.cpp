#include "chain/Chain.h"

#include "host/PropertyList.h"
#include "model/ChainDocument.h"
#include "model/ExportSettings.h"
#include "render/ChainBuffers.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <coroutine>

namespace tolvex::chain {

namespace {

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

/// The instance a completed instantiation made; null when it failed.
std::unique_ptr<host::PluginInstance> takeInstance(host::Instantiation& made)
{
    auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&made);
    return instance ? std::move(*instance) : nullptr;
}

/// An entry's stored state for its plugin; nothing when it has none or it
/// cannot be read (the plugin then starts with its defaults).
std::optional<host::PropertyDictionary> decodedState(const model::PluginState& entry)
{
    if (!entry.state)
        return std::nullopt;
    return host::readPropertyList(*entry.state);
}

/// „A“, „A“ und „B“, „A“, „B“ und „C“ …
QString quotedList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names)
        quoted.append(u'„' + name + u'“');
    if (quoted.size() < 2)
        return quoted.join(QString());
    const QString last = quoted.takeLast();
    return quoted.join(QStringLiteral(", ")) + QStringLiteral(" und ") + last;
}

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
    for (host::PluginInstance* unit : loadedUnits())
        m_engine->detach(*unit);
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
    retryUnavailable();
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
    std::unique_ptr<host::PluginInstance> unit = takeInstance(made);
    if (!unit) {
        setLastError(Slot::cannotLoadMessage(info.name));
        setLoading(false);
        co_return;
    }
    Slot& added = appendLoaded(std::move(info), std::move(unit), state, bypass);
    if (openEditor)
        this->openEditor(added);
    setLoading(false);
}

QCoro::Task<> Chain::addEntry(model::PluginState entry)
{
    const QPointer<Chain> alive(this);
    setLoading(true);
    Instantiate instantiation{m_host, entry.codes};
    host::Instantiation made = co_await instantiation;
    if (!alive)
        co_return;
    if (std::unique_ptr<host::PluginInstance> unit = takeInstance(made)) {
        appendLoaded(entry.info(), std::move(unit), decodedState(entry), entry.bypass);
    } else {
        setLastError(Slot::cannotLoadMessage(entry.name));
        m_slots.push_back(std::make_unique<Slot>(std::move(entry)));
        Q_EMIT slotsChanged();
        save();
    }
    setLoading(false);
}

Slot& Chain::appendLoaded(model::PluginInfo info, std::unique_ptr<host::PluginInstance> unit,
                          const std::optional<host::PropertyDictionary>& state, bool bypass)
{
    if (state)
        unit->setFullState(*state);
    stop();
    m_engine->attach(*unit);
    auto slot = std::make_unique<Slot>(std::move(info), std::move(unit), bypass);
    slot->unit().setBypass(bypass);
    Slot& added = *slot;
    m_slots.push_back(std::move(slot));
    Q_EMIT slotsChanged();
    applyBypass();
    save();
    return added;
}

QCoro::Task<> Chain::retryUnavailable()
{
    const QPointer<Chain> alive(this);
    QList<QUuid> waiting;
    for (const auto& slot : m_slots)
        if (slot->isUnavailable())
            waiting.append(slot->id());
    for (const QUuid& id : waiting) {
        const Slot* before = slotWithId(id);
        if (!before || !before->isUnavailable())
            continue; // removed or loaded meanwhile
        const model::PluginState entry = *before->storedEntry();
        setLoading(true);
        Instantiate instantiation{m_host, entry.codes};
        host::Instantiation made = co_await instantiation;
        if (!alive)
            co_return;
        std::unique_ptr<host::PluginInstance> unit = takeInstance(made);
        Slot* slot = slotWithId(id);
        if (unit && slot && slot->isUnavailable()) {
            if (const auto state = decodedState(entry))
                unit->setFullState(*state);
            stop();
            m_engine->attach(*unit);
            slot->becomeLoaded(std::move(unit));
            Q_EMIT slotsChanged();
            applyBypass();
            save();
        }
        setLoading(false);
    }
}

Slot* Chain::slotWithId(const QUuid& id) const
{
    const auto found = std::find_if(m_slots.begin(), m_slots.end(),
                                    [&](const auto& slot) { return slot->id() == id; });
    return found == m_slots.end() ? nullptr : found->get();
}

void Chain::removeSlot(Slot* slot)
{
    stop();
    const QUuid id = slot->id();
    if (auto window = m_windows.extract(id)) // its close handler finds no entry and saves
        window.mapped()->close();
    if (!slot->isUnavailable())
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
        if (!slot->isUnavailable())
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
    for (host::PluginInstance* unit : loadedUnits())
        m_engine->disconnectOutput(*unit);
    host::AudioNode* previous = m_player.get();
    for (host::PluginInstance* unit : loadedUnits()) {
        m_engine->connect(*previous, *unit, format);
        previous = unit;
    }
    m_engine->connect(*previous, m_engine->mainMixer(), format);
}

model::PluginState Chain::captureState(const Slot& slot) const
{
    if (slot.isUnavailable())
        return *slot.storedEntry();
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
    model::ExportSettings(m_settings).setSavedChain(model::encodeChain(states));
}

QList<model::PluginState> Chain::renderStates()
{
    QList<model::PluginState> states;
    for (const auto& slot : m_slots)
        if (!slot->bypass() && !slot->isUnavailable())
            states.append(captureState(*slot));
    announceSkipped();
    return states;
}

QString Chain::skippedNotice() const
{
    QStringList names;
    for (const auto& slot : m_slots)
        if (slot->isUnavailable() && !slot->bypass())
            names.append(slot->info().name);
    if (names.isEmpty())
        return {};
    return quotedList(names) + (names.size() == 1
                                    ? QStringLiteral(" fehlt und wird übersprungen.")
                                    : QStringLiteral(" fehlen und werden übersprungen."));
}

void Chain::announceSkipped()
{
    if (const QString notice = skippedNotice(); !notice.isEmpty())
        setLastError(notice);
}

void Chain::play(const model::AudioItem& item, double seconds)
{
    // Said before the preview starts, so that a failure to play replaces it.
    if (!isPlaying(item.id))
        announceSkipped();
    m_preview.play(item, seconds);
}

QCoro::Task<> Chain::load(QList<model::PluginState> states)
{
    const QPointer<Chain> alive(this);
    clear();
    for (model::PluginState& entry : states) {
        co_await addEntry(std::move(entry));
        if (!alive)
            co_return;
    }
}

void Chain::restoreSaved()
{
    const auto saved = model::ExportSettings(m_settings).savedChain();
    if (!saved)
        return;
    auto states = model::decodeChain(*saved);
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
    // Entries whose plugins did not load are written back as they were
    // stored; when the stored chain was empty and nothing else changed, the
    // record stays as it was.
    if (m_saveDeferred)
        save();
}

std::vector<host::PluginInstance*> Chain::loadedUnits() const
{
    std::vector<host::PluginInstance*> units;
    for (const auto& slot : m_slots)
        if (!slot->isUnavailable())
            units.push_back(&slot->unit());
    return units;
}

bool Chain::wireForPreview(const host::AudioFormat& format)
{
    const std::vector<host::PluginInstance*> units = loadedUnits();
    const bool accepted = units.empty() || render::applyChainFormat(format, units);
    rewire(format);
    return accepted;
}

void Chain::openEditor(Slot& slot)
{
    if (slot.isUnavailable())
        return; // no plugin, no panel
    if (const auto window = m_windows.find(slot.id()); window != m_windows.end()) {
        window->second->raise();
        return;
    }
    if (m_openEditor)
        m_openEditor(*this, slot);
}

void Chain::registerEditor(const QUuid& slotId, std::unique_ptr<EditorWindow> window)
{
    const Slot* slot = slotWithId(slotId);
    if (slot && !slot->isUnavailable() && !m_windows.contains(slotId))
        m_windows.emplace(slotId, std::move(window));
}

void Chain::editorClosed(const QUuid& slotId)
{
    m_windows.erase(slotId);
    save();
}

} // namespace tolvex::chain
