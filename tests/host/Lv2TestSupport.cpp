#include "tests/host/Lv2TestSupport.h"

#include <QTest>

#include <future>

namespace tolvex::testing {

using namespace host;

model::PluginInfo lv2Info(Lv2AudioHost& host, const char* uri)
{
    return host.find(QString::fromUtf8(uri)).value_or(model::PluginInfo{});
}

std::unique_ptr<PluginInstance> instantiateNow(AudioHost& host, const model::PluginInfo& info,
                                               QString* error)
{
    std::promise<Instantiation> promise;
    host.instantiate(info.codes,
                     [&promise](Instantiation result) { promise.set_value(std::move(result)); });
    Instantiation result = promise.get_future().get();
    if (auto* failure = std::get_if<HostError>(&result)) {
        if (error)
            *error = failure->description();
        else
            QTest::qFail(qPrintable(failure->description()), __FILE__, __LINE__);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PluginInstance>>(result));
}

QList<float> parameterValues(const PluginInstance& instance)
{
    QList<float> values;
    for (const PluginParameter& parameter : instance.parameters())
        values.append(parameter.value);
    return values;
}

std::vector<std::vector<float>> renderOffline(AudioHost& host,
                                              const std::vector<PluginInstance*>& chain,
                                              const std::vector<std::vector<float>>& input,
                                              double rate, qint64 block)
{
    const int channels = int(input.size());
    const AudioFormat format = *AudioFormat::standard(rate, channels);
    for (PluginInstance* instance : chain) {
        if (!instance->setInputFormat(0, format) || !instance->setOutputFormat(0, format)) {
            QTest::qFail("format refused", __FILE__, __LINE__);
            return {};
        }
    }
    auto engine = host.makeOfflineEngine();
    engine->enableManualRendering(format, block);
    auto in = *AudioBuffer::make(format, block);
    auto out = *AudioBuffer::make(engine->manualRenderingFormat(), block);
    engine->setManualRenderingInput(format, [&](qint64) { return &in; });
    AudioNode* previous = &engine->inputNode();
    for (PluginInstance* instance : chain) {
        engine->attach(*instance);
        engine->connect(*previous, *instance, format);
        previous = instance;
    }
    engine->connect(*previous, engine->mainMixer(), format);
    engine->start();

    const qint64 frames = qint64(input.front().size());
    std::vector<std::vector<float>> output(static_cast<size_t>(channels));
    for (qint64 done = 0; done < frames; done += block) {
        const qint64 n = std::min(block, frames - done);
        for (int c = 0; c < channels; ++c)
            std::copy_n(input[size_t(c)].begin() + done, n, in.channel(c));
        in.setFrameLength(n);
        if (engine->render(n, out) != RenderStatus::success) {
            QTest::qFail("render failed", __FILE__, __LINE__);
            return {};
        }
        for (int c = 0; c < channels; ++c)
            output[size_t(c)].insert(output[size_t(c)].end(), out.channel(c), out.channel(c) + n);
    }
    engine->stop();
    for (PluginInstance* instance : chain)
        engine->detach(*instance);
    return output;
}

} // namespace tolvex::testing
