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
            *error = failure->description();
        else
            QTest::qFail(qPrintable(failure->description()), __FILE__, __LINE__);
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<PluginInstance>>(result));
}

} // namespace tolvex::testing
