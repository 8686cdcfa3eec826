#include "render/PluginEngine.h"

#include "render/RenderError.h"

namespace tolvex::render {

PluginEngine::PluginEngine(host::AudioHost& host, host::PluginInstance& instance, int position,
                           const host::AudioFormat& format, qint64 maxFrames)
    : m_engine(host.makeOfflineEngine())
{
    m_engine->enableManualRendering(format, maxFrames);
    m_engine->setChainPosition(position);
    if (!m_engine->setManualRenderingInput(format, [this](qint64) { return m_feed; }))
        throw RenderError(QStringLiteral("Export lässt sich nicht vorbereiten."));
    m_engine->attach(instance);
    m_engine->connect(m_engine->inputNode(), instance, format);
    m_engine->connect(instance, m_engine->mainMixer(), format);
    m_engine->start();
}

PluginEngine::~PluginEngine()
{
    m_engine->stop();
}

host::RenderStatus PluginEngine::render(const host::AudioBuffer& input, host::AudioBuffer& output)
{
    m_feed = &input;
    return m_engine->render(input.frameLength(), output);
}

} // namespace tolvex::render
