#include "render/SourceFeed.h"

#include "render/ChainBuffers.h"
#include "render/RenderError.h"

#include <algorithm>

namespace tolvex::render {

SourceFeed::SourceFeed(host::AudioFileReader& source, QString name, qint64 blockFrames)
    : m_source(source), m_name(std::move(name)), m_blockFrames(blockFrames),
      m_length(source.length()), m_read(makeRenderBuffer(source.processingFormat(), blockFrames))
{}

void SourceFeed::readAhead(const host::AudioFormat& format, qint64 blocks)
{
    for (qint64 i = 0; i < blocks && i * m_blockFrames < m_length; ++i) {
        m_ahead.push_back(makeRenderBuffer(format, m_blockFrames));
        read(m_ahead.back(), m_blockFrames);
    }
}

void SourceFeed::fill(host::AudioBuffer& target, qint64 n)
{
    const auto ahead = size_t(m_filled / m_blockFrames);
    if (ahead < m_ahead.size()) {
        for (int c = 0; c < target.channelCount(); ++c)
            std::copy_n(m_ahead[ahead].channel(c), n, target.channel(c));
        target.setFrameLength(n);
    } else {
        read(target, n);
    }
    m_filled += n;
}

void SourceFeed::read(host::AudioBuffer& target, qint64 n)
{
    fillChainBuffer(target, n, m_source, m_read);
    // A reader shortens its length when the stream ends before it.
    if (m_source.length() < m_length)
        throw RenderError(u'„' + m_name +
                          QStringLiteral("“ ist kürzer als angegeben: Die Datei ist beschädigt "
                                         "oder wurde während des Exports verändert."));
}

} // namespace tolvex::render
