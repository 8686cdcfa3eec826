// The preview: a file played through the live chain in blocks.
#include "chain/Chain.h"

#include "host/HostError.h"
#include "model/DisplayText.h"
#include "render/ChainBuffers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

#include <cmath>
#include <limits>

namespace tolvex::chain {

void Chain::setPlayingID(std::optional<QUuid> id)
{
    if (m_playingID == id)
        return;
    m_playingID = id;
    Q_EMIT playingIDChanged();
}

void Chain::play(const model::AudioItem& item, double seconds)
{
    stop();
    const auto cannotPlay = [&] {
        setLastError(u'„' + QFileInfo(item.url.toLocalFile()).fileName() +
                     QStringLiteral("“ lässt sich nicht abspielen."));
        stop();
    };
    std::unique_ptr<host::AudioFileReader> file;
    try {
        file = m_host.openForReading(item.url.toLocalFile());
    } catch (const host::HostError&) {
        cannotPlay();
        return;
    }
    const double rate = file->processingFormat().sampleRate();
    const auto format = host::AudioFormat::standard(rate, 2);
    if (!format)
        return;

    std::vector<host::PluginInstance*> units;
    for (const auto& slot : m_slots)
        units.push_back(&slot->unit());
    if (!render::applyChainFormat(*format, units) && !m_slots.empty())
        setLastError(QStringLiteral("Die Kette kann ") + model::sampleRateText(rate) +
                     QStringLiteral(" nicht abspielen."));
    try {
        rewire(*format);
        const double position = seconds * rate;
        const qint64 frame = std::isfinite(position) && position > 0
                                 ? qint64(std::min(position, double(file->length())))
                                 : 0;
        m_startFrame = std::min(frame, file->length());
        file->setFramePosition(m_startFrame);
    } catch (const host::HostError&) {
        cannotPlay();
        return;
    }
    m_playFile = std::move(file);
    m_playFormat = format;
    setPlayingID(item.id);

    try {
        m_engine->prepare();
        m_engine->start();
    } catch (const host::HostError&) {
        cannotPlay();
        return;
    }
    const qint64 generation = m_generation;
    for (int i = 0; i < prerollBlocks; ++i)
        scheduleNext(generation);
    // The pre-roll may already have played the file to its end (no frames,
    // or a start at the end) and stopped the preview: then the player stays.
    if (m_playFile)
        m_player->play();
}

void Chain::scheduleNext(qint64 generation)
{
    if (generation != m_generation || !m_playFile || !m_playFormat)
        return;
    if (m_playFile->framePosition() >= m_playFile->length()) {
        if (m_pending == 0)
            stop(); // played to the end
        return;
    }
    auto block = host::AudioBuffer::make(*m_playFormat, blockFrames);
    auto scratch = host::AudioBuffer::make(m_playFile->processingFormat(), blockFrames);
    if (!block || !scratch)
        return;
    const qint64 frames = std::min(blockFrames, m_playFile->length() - m_playFile->framePosition());
    try {
        render::fillChainBuffer(*block, frames, *m_playFile, *scratch);
    } catch (const host::HostError&) {
        stop();
        return;
    }
    ++m_pending;
    const QPointer<Chain> chain(this);
    m_player->schedule(std::move(*block), [chain, generation] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [chain, generation] {
                if (chain)
                    chain->blockCompleted(generation);
            },
            Qt::QueuedConnection);
    });
}

void Chain::blockCompleted(qint64 generation)
{
    if (generation != m_generation)
        return; // a block of an earlier preview
    --m_pending;
    scheduleNext(generation);
}

void Chain::stop()
{
    ++m_generation;
    m_player->stop();
    m_engine->stop();
    setPlayingID(std::nullopt);
    m_playFile.reset();
    m_pending = 0;
}

double Chain::currentTime() const
{
    if (!m_playFile)
        return 0;
    const auto played = m_player->playerTime();
    if (!played)
        return 0;
    return double(m_startFrame + *played) / m_playFile->processingFormat().sampleRate();
}

} // namespace tolvex::chain
