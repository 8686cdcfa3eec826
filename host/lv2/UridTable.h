#pragma once

#include <lv2/urid/urid.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tolvex::host {

/// The URID map of a world: URIs numbered 1, 2, … in the order first
/// mapped, shared by every thread. Any thread may call both functions at
/// any time. A URI mapped before is found without a lock, an allocation or
/// a wait, so plugins may map in run(); only a URI never seen takes the lock
/// to be added, which the audio thread cannot avoid but meets rarely.
/// Unmapping a number handed out needs no lock either. Past `fastUris` URIs
/// the table still works, those beyond found under the lock.
class UridTable {
public:
    static constexpr size_t fastUris = 4096;

    UridTable();
    UridTable(const UridTable&) = delete;
    UridTable& operator=(const UridTable&) = delete;

    /// The number of `uri`, given it now when it has none; 0 for null.
    LV2_URID map(const char* uri);
    /// The URI of a number handed out; null for any other.
    const char* unmap(LV2_URID urid);

private:
    struct Entry {
        std::string uri;
        size_t hash;
        LV2_URID urid;
    };
    static constexpr size_t slotCount = 2 * fastUris; ///< at most half of them used
    /// The entry published for `uri`; null when there is none yet.
    const Entry* find(std::string_view uri, size_t hash) const noexcept;
    void publish(const Entry& entry) noexcept;

    /// Open addressing with linear probing. A slot, once set, never changes.
    std::unique_ptr<std::atomic<const Entry*>[]> m_slots;
    /// The first fastUris entries by number - 1.
    std::unique_ptr<std::atomic<const Entry*>[]> m_byUrid;

    std::mutex m_mutex;          ///< guards what follows; held to add an entry
    std::deque<Entry> m_entries; ///< by number - 1; a deque keeps each in place
    std::unordered_map<std::string_view, LV2_URID> m_index; ///< keys into m_entries
};

} // namespace tolvex::host
