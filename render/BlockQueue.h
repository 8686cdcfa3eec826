#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace tolvex::render {

/// A bounded lock-free queue of block numbers from exactly one producer
/// thread to exactly one consumer thread. The numbers stand for buffers that
/// go round a fixed set, so the queue never needs more room than the set
/// has members: pushing into a full queue breaks that contract. Neither side
/// locks; the consumer sleeps in the kernel while the queue is empty, woken
/// by the next push.
class BlockQueue {
public:
    explicit BlockQueue(size_t capacity) : m_items(capacity) {}
    BlockQueue(const BlockQueue&) = delete;
    BlockQueue& operator=(const BlockQueue&) = delete;

    /// Producer: appends a number.
    void push(int block) noexcept
    {
        const uint32_t head = m_head.load(std::memory_order_relaxed);
        m_items[head % m_items.size()] = block;
        m_head.store(head + 1, std::memory_order_release);
        m_head.notify_one();
    }

    /// Consumer: whether a number waits.
    bool ready() const noexcept
    {
        return m_head.load(std::memory_order_acquire) != m_tail.load(std::memory_order_relaxed);
    }

    /// Consumer: takes the next number, waiting for it when there is none.
    int pop() noexcept
    {
        const uint32_t tail = m_tail.load(std::memory_order_relaxed);
        m_head.wait(tail, std::memory_order_acquire);
        const int block = m_items[tail % m_items.size()];
        m_tail.store(tail + 1, std::memory_order_relaxed);
        return block;
    }

private:
    std::vector<int> m_items;
    std::atomic<uint32_t> m_head{0}; ///< numbers pushed; written by the producer only
    std::atomic<uint32_t> m_tail{0}; ///< numbers taken; written by the consumer only
};

} // namespace tolvex::render
