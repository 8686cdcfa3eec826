#pragma once

#include "host/AudioHost.h"
#include "host/lv2/LilvHandles.h"
#include "host/lv2/UridTable.h"

#include <lv2/urid/urid.h>

#include <QList>

#include <memory>
#include <mutex>
#include <vector>

namespace tolvex::host {

/// Owns one lilv world: the plugins installed when it was made, the URID map
/// shared by every instance made from it, and the lilv nodes the host asks
/// about. A rescan makes a new world; instances hold the one they came from.
/// lilv is not thread-safe: every call that reads or changes the world holds
/// lock() — queries, nodes made and freed, states, and instances made and
/// freed (each instance counts on its plugin's library, a count of the
/// world's). Reading the text of a node that stays, such as a plugin's URI,
/// needs no lock; nor do the calls into an instance (run, connect, activate).
/// The URID map is shared by all threads and needs no lock for URIs it has
/// mapped before.
class Lv2World {
public:
    /// Loads every bundle on LV2_PATH (or lilv's default folders).
    Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    std::unique_lock<std::mutex> lock() { return std::unique_lock(m_mutex); }
    LilvWorld* world() const { return m_world.get(); }
    /// Owns an instance or a state lilv made from this world: freed under
    /// lock() when it goes, which must be on a thread not holding lock().
    LilvInstancePtr own(LilvInstance* instance)
    {
        return LilvInstancePtr(instance, LilvInstancePtr::deleter_type(m_mutex));
    }
    LilvStatePtr own(LilvState* state)
    {
        return LilvStatePtr(state, LilvStatePtr::deleter_type(m_mutex));
    }

    LV2_URID_Map* map() { return &m_map; }
    LV2_URID_Unmap* unmap() { return &m_unmap; }
    LV2_URID urid(const char* uri);

    /// The listed plugins of one component type ('aufx' or 'aumf'), in
    /// lilv's order.
    QList<model::PluginInfo> components(quint32 type) const;
    /// The plugin with these codes, or null. The plugin is known by its
    /// URI's hash: an effect stored as the other effect type (a chain
    /// written by hand or by a script, or one from before the plugin was
    /// seen to take MIDI) is found all the same.
    const LilvPlugin* find(const model::PluginId& codes) const;
    /// The catalogue entry of a plugin (name and vendor as listed).
    model::PluginInfo info(const LilvPlugin* plugin) const;

    /// 64-bit FNV-1a of the URI's bytes: subtype is the high, manufacturer
    /// the low half.
    static quint64 uriHash(const char* uri);

    /// Whether the plugin's class is `classUri` or one of its subclasses.
    bool isOfClass(const LilvPlugin* plugin, const char* classUri) const;

    /// Nodes for the URIs the host asks lilv about.
    struct Nodes {
        const LilvNode* audioPort;
        const LilvNode* controlPort;
        const LilvNode* cvPort;
        const LilvNode* atomPort;
        const LilvNode* eventPort;
        const LilvNode* inputPort;
        const LilvNode* outputPort;
        const LilvNode* midiEvent;
        const LilvNode* latency;
        const LilvNode* reportsLatency;
        const LilvNode* enabled;
        const LilvNode* toggled;
        const LilvNode* integer;
        const LilvNode* enumeration;
        const LilvNode* logarithmic;
        const LilvNode* sideChain;
        const LilvNode* unitsUnit;
        const LilvNode* unitsSymbol;
        const LilvNode* doapName;
        const LilvNode* workerInterface;
        const LilvNode* minimumSize;
    };
    const Nodes& nodes() const { return m_nodes; }

private:
    struct Entry {
        model::PluginInfo info;
        const LilvPlugin* plugin;
    };
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
    static const char* unmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid);
    void catalogue();
    QString vendorOf(const LilvPlugin* plugin) const;
    bool takesMidi(const LilvPlugin* plugin) const;

    std::mutex m_mutex;
    LilvWorldPtr m_world;
    std::vector<LilvNodePtr> m_ownedNodes; ///< every node of m_nodes, freed before the world
    Nodes m_nodes{};
    std::vector<Entry> m_entries;

    UridTable m_urids;
    LV2_URID_Map m_map{this, &Lv2World::mapUri};
    LV2_URID_Unmap m_unmap{this, &Lv2World::unmapUrid};
};

} // namespace tolvex::host
