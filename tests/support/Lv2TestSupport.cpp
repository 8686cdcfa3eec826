#include "tests/support/Lv2TestSupport.h"

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
            *error = failure->message();
        else
            QTest::qFail(qPrintable(failure->message()), __FILE__, __LINE__);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PluginInstance>>(result));
}

Channels render(host::AudioHost& host, const std::vector<host::PluginInstance*>& chain,
                const Channels& input, double rate, qint64 block)
{
    const AudioFormat format = *AudioFormat::standard(rate, int(input.size()));
    auto engine = host.makeOfflineEngine();
    engine->enableManualRendering(format, block);
    auto in = *AudioBuffer::make(format, block), out = *AudioBuffer::make(format, block);
    engine->setManualRenderingInput(format, [&](qint64) { return &in; });
    AudioNode* previous = &engine->inputNode();
    for (PluginInstance* instance : chain) {
        if (!instance->setInputFormat(0, format) || !instance->setOutputFormat(0, format))
            QTest::qFail("format refused", __FILE__, __LINE__);
        engine->attach(*instance);
        engine->connect(*previous, *instance, format);
        previous = instance;
    }
    engine->connect(*previous, engine->mainMixer(), format);
    engine->start();
    Channels output(input.size());
    const qint64 frames = qint64(input.front().size());
    for (qint64 done = 0; done < frames; done += block) {
        const qint64 n = std::min(block, frames - done);
        for (size_t c = 0; c < input.size(); ++c)
            std::copy_n(input[c].begin() + done, n, in.channel(int(c)));
        in.setFrameLength(n);
        if (engine->render(n, out) != RenderStatus::success)
            QTest::qFail("render failed", __FILE__, __LINE__);
        for (size_t c = 0; c < input.size(); ++c)
            output[c].insert(output[c].end(), out.channel(int(c)), out.channel(int(c)) + n);
    }
    engine->stop();
    for (PluginInstance* instance : chain)
        engine->detach(*instance);
    return output;
}

} // namespace tolvex::testing
