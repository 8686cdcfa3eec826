#include "chain/Preview.h"

#include "host/HostError.h"
#include "model/DisplayText.h"
#include "render/ChainBuffers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>

#include <cmath>

namespace tolvex::chain {

Preview::Preview(host::AudioHost& host, host::RealtimeEngine& engine, host::PlayerNode& player,
                 WireGraph wire, QObject* parent)
    : QObject(parent), m_host(host), m_engine(engine), m_player(player), m_wire(std::move(wire))
{}

void Preview::setPlayingID(std::optional<QUuid> id)
{
    if (m_playingID == id)
        return;
    m_playingID = id;
    Q_EMIT playingIDChanged();
}

void Preview::cannotPlay(const model::AudioItem& item)
{
    Q_EMIT failed(u'„' + QFileInfo(item.url.toLocalFile()).fileName() +
                  QStringLiteral("“ lässt sich nicht abspielen."));
    stop();
}

void Preview::play(const model::AudioItem& item, double seconds)
{
    stop();
    if (!prepare(item, seconds))
        return;
    // The pre-roll is queued and the player playing before the engine
    // starts: an output asks for its first buffer as it starts (a sound
    // server for its whole target length), and that buffer is the file's,
    // not silence queued ahead of it. The pre-roll may already have played
    // the file to its end (no frames, or a start at the end) and stopped
    // the preview: then nothing starts.
    const qint64 generation = m_generation;
    for (int i = 0; i < prerollBlocks; ++i)
        scheduleNext(generation);
    if (!m_file)
        return;
    m_player.play();
    try {
        m_engine.prepare();
        m_engine.start();
    } catch (const host::HostError&) {
        cannotPlay(item);
        return;
    }
    // Said once, and not over a message of this start: the user learns of
    // the missing sound with the next preview.
    if (!m_engine.audible() && !m_toldInaudible && !m_warned) {
        m_toldInaudible = true;
        Q_EMIT failed(QStringLiteral(
            "Kein Tonserver und kein Ausgabegerät gefunden: Das Vorhören bleibt stumm."));
    }
}

bool Preview::prepare(const model::AudioItem& item, double seconds)
{
    std::unique_ptr<host::AudioFileReader> file;
    try {
        file = m_host.openForReading(item.url.toLocalFile());
    } catch (const host::HostError&) {
        cannotPlay(item);
        return false;
    }
    const double rate = file->processingFormat().sampleRate();
    const auto format = host::AudioFormat::standard(rate, 2);
    if (!format)
        return false;
    try {
        m_warned = !m_wire(*format);
        if (m_warned)
            Q_EMIT failed(QStringLiteral("Die Kette kann ") + model::sampleRateText(rate) +
                          QStringLiteral(" nicht abspielen."));
        const double position = seconds * rate;
        // A position past the end, or not a number, is clamped to the file.
        m_startFrame = std::isfinite(position) && position > 0
                           ? qint64(std::min(position, double(file->length())))
                           : 0;
        file->setFramePosition(m_startFrame);
    } catch (const host::HostError&) {
        cannotPlay(item);
        return false;
    }
    m_file = std::move(file);
    m_format = format;
    setPlayingID(item.id);
    return true;
}

void Preview::scheduleNext(qint64 generation)
{
    if (generation != m_generation || !m_file || !m_format)
        return;
    if (m_file->framePosition() >= m_file->length()) {
        if (m_pending == 0)
            stop(); // played to the end
        return;
    }
    auto block = host::AudioBuffer::make(*m_format, blockFrames);
    auto scratch = host::AudioBuffer::make(m_file->processingFormat(), blockFrames);
    if (!block || !scratch)
        return;
    const qint64 frames = std::min(blockFrames, m_file->length() - m_file->framePosition());
    try {
        render::fillChainBuffer(*block, frames, *m_file, *scratch);
    } catch (const host::HostError&) {
        stop();
        return;
    }
    ++m_pending;
    const QPointer<Preview> preview(this);
    m_player.schedule(std::move(*block), [preview, generation] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [preview, generation] {
                if (preview)
                    preview->blockCompleted(generation);
            },
            Qt::QueuedConnection);
    });
}

void Preview::blockCompleted(qint64 generation)
{
    if (generation != m_generation)
        return; // a block of an earlier preview
    --m_pending;
    scheduleNext(generation);
}

void Preview::stop()
{
    ++m_generation;
    m_player.stop();
    m_engine.stop();
    setPlayingID(std::nullopt);
    m_file.reset();
    m_pending = 0;
}

double Preview::currentTime() const
{
    if (!m_file)
        return 0;
    const auto played = m_player.playerTime();
    if (!played)
        return 0;
    return double(m_startFrame + *played) / m_file->processingFormat().sampleRate();
}

} // namespace tolvex::chain
