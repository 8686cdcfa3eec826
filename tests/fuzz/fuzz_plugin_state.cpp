// Feeds arbitrary bytes along the path of a stored plugin state: read as a
// property list and, when that holds a "state", given to a real LV2 plugin,
// x42's fil4 (which keeps a state of its own besides its ports), made once
// and reused for every input. The "uri" is set to the plugin's, so that
// every state reaches lilv and the plugin rather than being turned away as
// another plugin's.
#include "host/PropertyList.h"
#include "host/lv2/Lv2AudioHost.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>

namespace {

constexpr const char* pluginUri = "http://gareus.org/oss/lv2/fil4#stereo";

/// The plugin, made on first use; it and its host live until the process
/// ends.
tolvex::host::PluginInstance& plugin()
{
    using namespace tolvex::host;
    static Lv2AudioHost* const host = new Lv2AudioHost();
    static PluginInstance* const instance = [] {
        const auto info = host->find(QString::fromLatin1(pluginUri));
        if (!info) {
            std::fprintf(stderr, "%s is not installed\n", pluginUri);
            std::abort();
        }
        std::promise<Instantiation> made;
        host->instantiate(info->codes,
                          [&made](Instantiation result) { made.set_value(std::move(result)); });
        Instantiation result = made.get_future().get();
        auto* instance = std::get_if<std::unique_ptr<PluginInstance>>(&result);
        if (!instance || !*instance)
            std::abort();
        return instance->release();
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvex::host;
    PluginInstance& instance = plugin();
    auto dictionary = readPropertyList(QByteArrayView(data, qsizetype(size)));
    if (!dictionary || !dictionary->contains(QStringLiteral("state")))
        return 0;
    dictionary->insert(QStringLiteral("uri"), QString::fromLatin1(pluginUri));
    instance.setFullState(*dictionary);
    return 0;
}
