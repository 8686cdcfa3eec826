#include "host/engine/GraphLine.h"

#include "host/HostError.h"

namespace tolvex::host {

GraphLine::GraphLine(AudioNode& mixer, AudioNode* input, QString connectError, QString brokenError)
    : m_mixer(mixer), m_input(input), m_connectError(std::move(connectError)),
      m_brokenError(std::move(brokenError))
{}

void GraphLine::attach(AudioNode& node)
{
    if (&node != &m_mixer && &node != m_input)
        m_attached.insert(&node);
}

void GraphLine::detach(AudioNode& node)
{
    m_attached.erase(&node);
    m_links.erase(&node);
    std::erase_if(m_links, [&](const auto& link) { return link.second.to == &node; });
}

void GraphLine::connect(AudioNode& from, AudioNode& to, const AudioFormat& format)
{
    const bool fromKnown = &from == m_input || isAttached(from);
    const bool toKnown = &to == &m_mixer || isAttached(to);
    if (!fromKnown || !toKnown || &from == &to)
        throw HostError(m_connectError);
    m_links.insert_or_assign(&from, Link{&to, format});
}

AudioNode* GraphLine::next(const AudioNode& from) const
{
    const auto found = m_links.find(&from);
    return found == m_links.end() ? nullptr : found->second.to;
}

GraphLine::Line GraphLine::walk(const AudioNode& source) const
{
    auto link = m_links.find(&source);
    if (link == m_links.end())
        throw HostError(m_brokenError);
    Line line{link->second.format, {}};
    // Every attached node at most once: a longer walk has met a circle.
    while (link->second.to != &m_mixer) {
        AudioNode* node = link->second.to;
        const AudioFormat input = link->second.format;
        link = m_links.find(node);
        if (link == m_links.end() || line.stages.size() >= m_attached.size())
            throw HostError(m_brokenError);
        line.stages.push_back({node, input, link->second.format});
    }
    return line;
}

} // namespace tolvex::host
