#pragma once

#include "chain/CatalogueOrder.h"
#include "chain/EditorWindow.h"
#include "chain/Preview.h"
#include "chain/Slot.h"
#include "host/AudioHost.h"
#include "model/AudioItem.h"
#include "model/PluginState.h"

#include <QCoroTask>
#include <QObject>
#include <QSettings>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tolvex::chain {

/// The one live effect chain: the catalogue of installed effects, the slots
/// with their plugins in one real-time engine with the preview's player,
/// the autosave of the chain, and the preview. Lives on the GUI thread;
/// every field is read and written there. Platform completions arrive on
/// other threads and only hand their results over. Operations never throw:
/// a failure the user must see is set on lastError.
///
/// An entry of a loaded or restored chain whose plugin does not load stays
/// in the chain as an unavailable slot (see Slot): saved as it was stored,
/// left out of the sound, and loaded again by the next rescan once its
/// plugin is there.
class Chain : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(QString lastError READ lastError WRITE setLastError NOTIFY lastErrorChanged)
    Q_PROPERTY(bool compareOriginal READ compareOriginal WRITE setCompareOriginal NOTIFY
                   compareOriginalChanged)

public:
    /// Preview blocks: frames per block, and how many are queued at the start.
    static constexpr qint64 blockFrames = Preview::blockFrames;
    static constexpr int prerollBlocks = Preview::prerollBlocks;

    /// Makes the engine and the player, scans the catalogue and starts
    /// restoring the autosaved chain from `settings` (key "chain").
    Chain(host::AudioHost& host, QSettings& settings, QObject* parent = nullptr);
    ~Chain() override;

    // Catalogue
    const QList<model::PluginInfo>& available() const { return m_available; }
    /// Scans the catalogue again, then tries once more to load each
    /// unavailable slot; one that loads takes its stored state and switch
    /// and keeps its place.
    void rescan();
    QList<VendorGroup> vendorGroups() const { return groupByVendor(m_available); }

    // Slots
    /// Every entry in signal order, unavailable ones included.
    QList<Slot*> slots() const;
    bool loading() const { return m_loading; }
    /// The most recent failure for the user; empty (null) when none. The
    /// interface clears it after showing it; the chain never does.
    QString lastError() const { return m_lastError; }
    void setLastError(const QString& message);
    bool compareOriginal() const { return m_compareOriginal; }
    void setCompareOriginal(bool compare);

    QCoro::Task<> addPlugin(model::PluginInfo info, std::optional<host::PropertyDictionary> state,
                            bool bypass, bool openEditor);
    void removeSlot(Slot* slot);
    void clear();
    void applyBypass();
    /// Moves the slots at `offsets` to before `destination`, as a list view
    /// reports a drag. Stops the preview first and saves after.
    void moveSlots(const QList<int>& offsets, int destination);
    void rewire(const host::AudioFormat& format);

    // State
    /// The slot as an entry of a stored chain; an unavailable slot's is the
    /// entry it keeps, unchanged.
    model::PluginState captureState(const Slot& slot) const;
    /// Writes the chain to the settings. While the autosaved chain is being
    /// restored at start, the write waits until the restore has ended, so
    /// that a half-restored chain never replaces the stored one.
    void save();
    /// The entries an export runs through: the loaded slots not bypassed.
    /// Called once as an export starts; when unavailable slots that are not
    /// bypassed are left out, says so on lastError.
    QList<model::PluginState> renderStates();
    /// Replaces the chain with `states`, one entry after the other; an entry
    /// whose plugin does not load becomes an unavailable slot in its place,
    /// and lastError names it.
    QCoro::Task<> load(QList<model::PluginState> states);
    /// Starts restoring the autosaved chain; the chain is saved once when the
    /// restore has ended, if anything asked for a save meanwhile.
    void restoreSaved();

    // Preview
    /// Plays `item` from `seconds` through the loaded slots. Starting a file
    /// that is not playing yet says on lastError which unavailable slots are
    /// left out; a seek within the playing file does not repeat it.
    void play(const model::AudioItem& item, double seconds);
    /// Ends any preview and stops the engine; harmless when nothing plays.
    void stop() { m_preview.stop(); }
    bool isPlaying(const QUuid& id) const { return playingID() == id; }
    std::optional<QUuid> playingID() const { return m_preview.playingID(); }
    double currentTime() const { return m_preview.currentTime(); }

    // Editor windows
    using EditorOpener = std::function<void(Chain&, Slot&)>;
    /// The window layer's way of opening a slot's editor.
    void setEditorOpener(EditorOpener opener) { m_openEditor = std::move(opener); }
    void openEditor(Slot& slot);
    /// Keeps the open panel of a slot; closing it later calls editorClosed.
    void registerEditor(const QUuid& slotId, std::unique_ptr<EditorWindow> window);
    /// The panel of a slot was closed: forget it and save.
    void editorClosed(const QUuid& slotId);
    bool hasEditor(const QUuid& slotId) const { return m_windows.contains(slotId); }

    // For tests and views.
    qint64 generation() const { return m_preview.generation(); }
    qint64 pending() const { return m_preview.pending(); }

Q_SIGNALS:
    void availableChanged();
    void slotsChanged();
    void loadingChanged(bool loading);
    void lastErrorChanged(const QString& message);
    void compareOriginalChanged(bool compare);
    void playingIDChanged();

private:
    void setLoading(bool loading);
    /// Loads one stored entry at the end of the chain: a loaded slot, or an
    /// unavailable one when its plugin does not load.
    QCoro::Task<> addEntry(model::PluginState entry);
    /// Adds a made plugin as a loaded slot at the end, saves, and returns it.
    Slot& appendLoaded(model::PluginInfo info, std::unique_ptr<host::PluginInstance> unit,
                       const std::optional<host::PropertyDictionary>& state, bool bypass);
    QCoro::Task<> retryUnavailable();
    Slot* slotWithId(const QUuid& id) const;
    /// "„X“ fehlt und wird übersprungen." for the unavailable slots the sound
    /// would have passed; empty when there are none.
    QString skippedNotice() const;
    void announceSkipped();
    QCoro::Task<> restore(QList<model::PluginState> states);
    /// The plugins of the loaded slots, in signal order.
    std::vector<host::PluginInstance*> loadedUnits() const;
    /// Offers the preview format to every loaded slot and rewires; see Preview::WireGraph.
    bool wireForPreview(const host::AudioFormat& format);

    host::AudioHost& m_host;
    QSettings& m_settings;

    QList<model::PluginInfo> m_available;
    std::vector<std::unique_ptr<Slot>> m_slots;
    bool m_loading = false;
    QString m_lastError;
    bool m_compareOriginal = false;
    bool m_restoring = false;
    bool m_saveDeferred = false;

    std::unique_ptr<host::RealtimeEngine> m_engine;
    std::unique_ptr<host::PlayerNode> m_player;
    Preview m_preview; // after the engine and player it uses

    std::map<QUuid, std::unique_ptr<EditorWindow>> m_windows;
    EditorOpener m_openEditor;
};

} // namespace tolvex::chain
