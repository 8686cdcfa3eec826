#include "render/ChainInstances.h"

#include "host/PropertyList.h"
#include "render/RenderError.h"

namespace tolvex::render {

namespace {

std::unique_ptr<host::PluginInstance> instantiate(host::AudioHost& host,
                                                  const model::PluginState& entry)
{
    host::Instantiation made = host::instantiateAndWait(host, entry.codes);
    auto* instance = std::get_if<std::unique_ptr<host::PluginInstance>>(&made);
    if (!instance || !*instance)
        throw RenderError(u'„' + entry.name + QStringLiteral("“ lässt sich nicht laden."));
    if (entry.state) {
        if (auto state = host::readPropertyList(*entry.state))
            (*instance)->setFullState(*state);
    }
    return std::move(*instance);
}

} // namespace

std::vector<std::unique_ptr<host::PluginInstance>>
instantiateChain(host::AudioHost& host, const QList<model::PluginState>& plugins)
{
    std::vector<std::unique_ptr<host::PluginInstance>> instances;
    for (const model::PluginState& entry : plugins)
        instances.push_back(instantiate(host, entry));
    return instances;
}

} // namespace tolvex::render
