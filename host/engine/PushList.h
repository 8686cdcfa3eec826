#pragma once

#include <atomic>

namespace tolvex::host {

/// A lock-free list of nodes with a `next` pointer: any thread pushes, one
/// thread at a time takes everything pushed so far, oldest first. Neither
/// call allocates, locks or waits. Taking all at once leaves no node that
/// another thread could still be reading, so there is no ABA to guard.
template <typename Node>
class PushList {
public:
    void push(Node* node) noexcept
    {
        node->next = m_newest.load(std::memory_order_relaxed);
        while (!m_newest.compare_exchange_weak(node->next, node, std::memory_order_release,
                                               std::memory_order_relaxed)) {
        }
    }

    /// Everything pushed so far, in the order of pushing.
    Node* takeAll() noexcept
    {
        Node* newest = m_newest.exchange(nullptr, std::memory_order_acquire);
        Node* oldest = nullptr;
        while (newest) {
            Node* next = newest->next;
            newest->next = oldest;
            oldest = newest;
            newest = next;
        }
        return oldest;
    }

private:
    std::atomic<Node*> m_newest{nullptr};
};

} // namespace tolvex::host
