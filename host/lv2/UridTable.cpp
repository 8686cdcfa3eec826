#include "host/lv2/UridTable.h"

namespace tolvex::host {

UridTable::UridTable()
    : m_slots(std::make_unique<std::atomic<const Entry*>[]>(slotCount)),
      m_byUrid(std::make_unique<std::atomic<const Entry*>[]>(fastUris))
{}

LV2_URID UridTable::map(const char* uri)
{
    if (!uri)
        return 0;
    const std::string_view text(uri);
    const size_t hash = std::hash<std::string_view>{}(text);
    if (const Entry* entry = find(text, hash))
        return entry->urid;
    std::lock_guard lock(m_mutex);
    if (const auto known = m_index.find(text); known != m_index.end())
        return known->second;
    const Entry& entry =
        m_entries.emplace_back(Entry{std::string(text), hash, LV2_URID(m_entries.size() + 1)});
    m_index.emplace(entry.uri, entry.urid);
    if (entry.urid <= fastUris)
        publish(entry);
    return entry.urid;
}

const char* UridTable::unmap(LV2_URID urid)
{
    if (urid == 0)
        return nullptr;
    if (urid <= fastUris) {
        const Entry* entry = m_byUrid[urid - 1].load(std::memory_order_acquire);
        return entry ? entry->uri.c_str() : nullptr;
    }
    std::lock_guard lock(m_mutex);
    return urid <= m_entries.size() ? m_entries[urid - 1].uri.c_str() : nullptr;
}

const UridTable::Entry* UridTable::find(std::string_view uri, size_t hash) const noexcept
{
    for (size_t i = 0, slot = hash; i < slotCount; ++i, ++slot) {
        const Entry* entry = m_slots[slot % slotCount].load(std::memory_order_acquire);
        if (!entry)
            return nullptr; // the end of the probe sequence
        if (entry->hash == hash && entry->uri == uri)
            return entry;
    }
    return nullptr;
}

void UridTable::publish(const Entry& entry) noexcept
{
    // Under the lock: the only writer. The entry is complete before a
    // reader can see it; a reader that misses it takes the lock.
    for (size_t slot = entry.hash;; ++slot) {
        std::atomic<const Entry*>& at = m_slots[slot % slotCount];
        if (!at.load(std::memory_order_relaxed)) {
            at.store(&entry, std::memory_order_release);
            break;
        }
    }
    m_byUrid[entry.urid - 1].store(&entry, std::memory_order_release);
}

} // namespace tolvex::host
