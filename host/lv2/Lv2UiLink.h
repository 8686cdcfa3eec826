#pragma once

#include "host/engine/SpscRing.h"

#include <lv2/atom/atom.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace tolvex::host {

/// The atom messages between a plugin's own interface (GUI thread) and the
/// running plugin (run thread): what the interface writes to the plugin's
/// atom inputs, and the events the plugin writes to its atom outputs, for
/// the interface. One lock-free ring each way, one writer and one reader
/// each; the run thread's side neither allocates, locks nor waits. Control
/// ports do not pass here: their values travel as the ports' targets and
/// reported values.
class Lv2UiLink {
public:
    /// `atomCapacity`: the bytes of one atom port's buffer.
    explicit Lv2UiLink(size_t atomCapacity);
    Lv2UiLink(const Lv2UiLink&) = delete;
    Lv2UiLink& operator=(const Lv2UiLink&) = delete;

    // GUI thread.
    /// Queues an atom for an atom input of the plugin; false when it is
    /// larger than the port takes or the queue is full.
    bool sendToPlugin(uint32_t port, const LV2_Atom& atom);
    /// While listening, the run thread passes the plugin's output events on;
    /// starting to listen drops what an earlier listener left.
    void setListening(bool listening);
    /// Hands each event the plugin sent since to `deliver`, oldest first.
    void receive(const std::function<void(uint32_t port, const LV2_Atom& atom)>& deliver);

    // Run thread.
    /// Takes the messages queued for the next block, as many as fit one
    /// port's buffer; the rest wait for the following block.
    void takeForBlock() noexcept;
    /// The messages taken for this block, in order.
    template <typename Function>
    void forEachTaken(Function&& function) const noexcept
    {
        for (size_t at = 0; at < m_taken;) {
            const auto* header = reinterpret_cast<const Header*>(m_block.data() + at);
            const auto* atom = reinterpret_cast<const LV2_Atom*>(header + 1);
            function(header->port, *atom);
            at += messageSize(atom->size);
        }
    }
    /// Passes one event of an atom output on, when someone listens.
    void sendToUi(uint32_t port, const LV2_Atom& atom) noexcept;

private:
    struct Header {
        uint32_t port;
        uint32_t pad;
    };
    static size_t messageSize(uint32_t bodySize)
    {
        return (sizeof(Header) + sizeof(LV2_Atom) + bodySize + 7) & ~size_t(7);
    }
    /// Packs one message into `buffer`; false when it does not fit.
    static bool pack(std::vector<uint64_t>& buffer, uint32_t port, const LV2_Atom& atom);

    SpscRing m_toPlugin;
    SpscRing m_toUi;
    std::atomic<bool> m_listening{false};
    std::vector<uint64_t> m_sending; ///< GUI thread: a message being sent
    /// GUI thread: a message being delivered (the interface may send while
    /// it handles one).
    std::vector<uint64_t> m_receiving;
    std::vector<uint64_t> m_runScratch; ///< run thread: an event being passed on
    std::vector<char> m_block;          ///< run thread: the messages of one block
    size_t m_taken = 0;                 ///< bytes of m_block in use
};

} // namespace tolvex::host
