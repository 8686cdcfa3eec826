#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tolvex::host {

/// A lock-free ring of variable-size messages between exactly one writer
/// thread and one reader thread. Neither side allocates, locks or waits:
/// safe on the audio thread. The capacity is rounded up to a power of two.
class SpscRing {
public:
    explicit SpscRing(size_t capacity) : m_buffer(roundUp(capacity)), m_mask(m_buffer.size() - 1) {}

    /// Writer: appends one message; false (and nothing written) when it does
    /// not fit.
    bool write(const void* data, uint32_t size)
    {
        const size_t head = m_head.load(std::memory_order_relaxed);
        const size_t tail = m_tail.load(std::memory_order_acquire);
        const size_t needed = sizeof(size) + size;
        if (m_buffer.size() - (head - tail) < needed)
            return false;
        copyIn(head, &size, sizeof(size));
        copyIn(head + sizeof(size), data, size);
        m_head.store(head + needed, std::memory_order_release);
        return true;
    }

    /// Reader: the size of the next message, or 0 when there is none.
    uint32_t peekSize() const
    {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        if (m_head.load(std::memory_order_acquire) == tail)
            return 0;
        uint32_t size = 0;
        copyOut(tail, &size, sizeof(size));
        return size;
    }

    /// Reader: takes the next message into `data` (at least peekSize() bytes);
    /// false when there is none.
    bool read(void* data, uint32_t capacity)
    {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        if (m_head.load(std::memory_order_acquire) == tail)
            return false;
        uint32_t size = 0;
        copyOut(tail, &size, sizeof(size));
        if (size > capacity)
            return false;
        copyOut(tail + sizeof(size), data, size);
        m_tail.store(tail + sizeof(size) + size, std::memory_order_release);
        return true;
    }

    bool empty() const
    {
        return m_head.load(std::memory_order_acquire) == m_tail.load(std::memory_order_acquire);
    }

private:
    static size_t roundUp(size_t capacity)
    {
        size_t size = 64;
        while (size < capacity)
            size <<= 1;
        return size;
    }

    void copyIn(size_t at, const void* data, size_t size)
    {
        const size_t start = at & m_mask;
        const size_t first = std::min(size, m_buffer.size() - start);
        std::memcpy(m_buffer.data() + start, data, first);
        std::memcpy(m_buffer.data(), static_cast<const char*>(data) + first, size - first);
    }

    void copyOut(size_t at, void* data, size_t size) const
    {
        const size_t start = at & m_mask;
        const size_t first = std::min(size, m_buffer.size() - start);
        std::memcpy(data, m_buffer.data() + start, first);
        std::memcpy(static_cast<char*>(data) + first, m_buffer.data(), size - first);
    }

    std::vector<char> m_buffer;
    size_t m_mask;
    std::atomic<size_t> m_head{0}; ///< written by the writer only
    std::atomic<size_t> m_tail{0}; ///< written by the reader only
};

} // namespace tolvex::host
