#include "cli/ChainShow.h"

#include "cli/ChainLoading.h"
#include "cli/UsageError.h"
#include "host/PropertyList.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tolvex::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return {bytes.constData(), size_t(bytes.size())};
}

/// The float as the shortest decimal that reads back as it: 0.1f shows as
/// 0.1, not as the double nearest to it (0.10000000149011612), and a whole
/// number without a fraction (100, not 100.0).
Json number(float value)
{
    if (value == std::trunc(value) && std::abs(value) < 1e15f)
        return Json(std::int64_t(value));
    // Both conversions ignore the locale, whose decimal comma strtod would follow.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double shortest = value;
    std::from_chars(text, end, shortest);
    return Json(shortest);
}

/// The plugin's URI by its codes; for one that is not installed, the one
/// its stored state names; empty when neither knows.
QString uriOf(host::Lv2AudioHost& host, const model::PluginState& entry)
{
    QString uri = host.uri(entry.codes);
    if (uri.isEmpty() && entry.state)
        if (const auto state = host::readPropertyList(*entry.state))
            uri = state->value(QStringLiteral("uri")).toString();
    return uri;
}

/// The controls of the entry's plugin, made and given its stored state.
Json controlsOf(host::Lv2AudioHost& host, const model::PluginState& entry)
{
    const std::unique_ptr<host::PluginInstance> instance = makeInstance(host, entry);
    if (entry.state)
        if (const auto state = host::readPropertyList(*entry.state))
            instance->setFullState(*state);
    Json controls = Json::object();
    for (const host::PluginParameter& control : instance->parameters())
        controls[utf8(control.symbol)] = number(control.value);
    return controls;
}

Json describe(host::Lv2AudioHost& host, const model::PluginState& entry, bool& loaded)
{
    Json object = Json::object();
    object["name"] = utf8(entry.name);
    object["vendor"] = utf8(entry.vendor);
    const QString uri = uriOf(host, entry);
    object["uri"] = uri.isEmpty() ? Json() : Json(utf8(uri));
    object["bypass"] = entry.bypass;
    try {
        object["controls"] = controlsOf(host, entry);
    } catch (const UsageError& error) {
        object["error"] = utf8(error.message());
        loaded = false;
    }
    return object;
}

} // namespace

int showChain(host::Lv2AudioHost& host, const model::ExportSettings& settings,
              const CliOptions& options)
{
    bool loaded = true;
    Json document = Json::array();
    for (const model::PluginState& entry : storedChain(host, settings, options))
        document.push_back(describe(host, entry, loaded));
    const std::string text = document.dump(2, ' ', false, Json::error_handler_t::replace) + '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
    return loaded ? 0 : 1;
}

} // namespace tolvex::cli
