#include "host/lv2/Lv2UiLink.h"

#include <algorithm>
#include <cstring>

namespace tolvex::host {

namespace {
/// Plugins with a busy notification port (spectra, scopes) send many events
/// a block: the interface's ring holds many blocks of them.
constexpr size_t toUiBlocks = 32;
} // namespace

Lv2UiLink::Lv2UiLink(size_t atomCapacity)
    : m_toPlugin(std::max<size_t>(1 << 16, 4 * atomCapacity)),
      m_toUi(std::max<size_t>(1 << 18, toUiBlocks * atomCapacity)),
      m_sending(messageSize(uint32_t(atomCapacity)) / 8 + 1),
      m_receiving(messageSize(uint32_t(atomCapacity)) / 8 + 1),
      m_runScratch(messageSize(uint32_t(atomCapacity)) / 8 + 1), m_block(atomCapacity)
{}

bool Lv2UiLink::pack(std::vector<uint64_t>& buffer, uint32_t port, const LV2_Atom& atom)
{
    const size_t size = messageSize(atom.size);
    if (size > buffer.size() * 8)
        return false;
    auto* bytes = reinterpret_cast<char*>(buffer.data());
    const Header header{port, 0};
    std::memcpy(bytes, &header, sizeof(header));
    std::memcpy(bytes + sizeof(header), &atom, sizeof(LV2_Atom) + atom.size);
    return true;
}

bool Lv2UiLink::sendToPlugin(uint32_t port, const LV2_Atom& atom)
{
    if (messageSize(atom.size) > m_block.size() || !pack(m_sending, port, atom))
        return false;
    return m_toPlugin.write(m_sending.data(), uint32_t(messageSize(atom.size)));
}

void Lv2UiLink::setListening(bool listening)
{
    if (listening)
        receive([](uint32_t, const LV2_Atom&) {});
    m_listening.store(listening, std::memory_order_release);
}

void Lv2UiLink::receive(const std::function<void(uint32_t, const LV2_Atom&)>& deliver)
{
    for (uint32_t size = m_toUi.peekSize(); size > 0; size = m_toUi.peekSize()) {
        if (size > m_receiving.size() * 8)
            m_receiving.resize(size / 8 + 1);
        m_toUi.read(m_receiving.data(), uint32_t(m_receiving.size() * 8));
        const auto* header = reinterpret_cast<const Header*>(m_receiving.data());
        deliver(header->port, *reinterpret_cast<const LV2_Atom*>(header + 1));
    }
}

void Lv2UiLink::takeForBlock() noexcept
{
    m_taken = 0;
    for (uint32_t size = m_toPlugin.peekSize(); size > 0 && m_taken + size <= m_block.size();
         size = m_toPlugin.peekSize()) {
        m_toPlugin.read(m_block.data() + m_taken, size);
        m_taken += size;
    }
}

void Lv2UiLink::sendToUi(uint32_t port, const LV2_Atom& atom) noexcept
{
    if (!m_listening.load(std::memory_order_acquire) || !pack(m_runScratch, port, atom))
        return;
    m_toUi.write(m_runScratch.data(), uint32_t(messageSize(atom.size)));
}

} // namespace tolvex::host
