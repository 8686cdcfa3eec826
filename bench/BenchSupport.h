#pragma once

#include "host/lv2/Lv2AudioHost.h"

#include <cstdio>
#include <cstdlib>
#include <future>

namespace tolvex::bench {

/// Instantiates the installed plugin with this URI and waits for it; ends
/// the program when it cannot.
inline std::unique_ptr<host::PluginInstance> instantiate(host::Lv2AudioHost& host, const char* uri)
{
    const auto info = host.find(QString::fromUtf8(uri));
    if (!info) {
        std::fprintf(stderr, "not installed: %s\n", uri);
        std::exit(1);
    }
    std::promise<host::Instantiation> promise;
    host.instantiate(info->codes,
                     [&](host::Instantiation result) { promise.set_value(std::move(result)); });
    auto result = promise.get_future().get();
    if (auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&result))
        return std::move(*instance);
    std::fprintf(stderr, "cannot load %s\n", uri);
    std::exit(1);
}

/// One plugin instance alone in tolvex's offline engine, in `format`, up to
/// `block` frames a call: render() runs it over the frames in input().
class SoloEngine {
public:
    SoloEngine(host::AudioHost& host, host::PluginInstance& instance,
               const host::AudioFormat& format, qint64 block)
        : m_instance(instance), m_engine(host.makeOfflineEngine()),
          m_input(*host::AudioBuffer::make(format, block)),
          m_output(*host::AudioBuffer::make(format, block))
    {
        instance.setInputFormat(0, format);
        instance.setOutputFormat(0, format);
        m_engine->enableManualRendering(format, block);
        m_engine->setManualRenderingInput(format, [this](qint64) { return &m_input; });
        m_engine->attach(instance);
        m_engine->connect(m_engine->inputNode(), instance, format);
        m_engine->connect(instance, m_engine->mainMixer(), format);
        m_engine->start();
    }
    ~SoloEngine()
    {
        m_engine->stop();
        m_engine->detach(m_instance);
    }
    SoloEngine(const SoloEngine&) = delete;
    SoloEngine& operator=(const SoloEngine&) = delete;

    host::AudioBuffer& input() { return m_input; }
    void render() { m_engine->render(m_input.frameLength(), m_output); }

private:
    host::PluginInstance& m_instance;
    std::unique_ptr<host::OfflineEngine> m_engine;
    host::AudioBuffer m_input;
    host::AudioBuffer m_output;
};

} // namespace tolvex::bench
