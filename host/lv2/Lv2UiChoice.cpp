#include "host/lv2/Lv2UiChoice.h"

#include "host/lv2/Lv2ExternalUi.h"

#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>
#include <suil/suil.h>

#include <vector>

namespace tolvex::host {

namespace {

using UisPtr = std::unique_ptr<LilvUIs, LilvFree<LilvUIs, lilv_uis_free>>;

/// The nodes a choice asks about, made and freed under the world's lock.
struct UiNodes {
    explicit UiNodes(LilvWorld* world) : world(world) {}
    LilvNodePtr uri(const char* text) const { return LilvNodePtr(lilv_new_uri(world, text)); }

    LilvWorld* world;
    LilvNodePtr x11 = uri(LV2_UI__X11UI);
    LilvNodePtr kxWidget = uri(LV2_EXTERNAL_UI__Widget);
    LilvNodePtr oldExternal = uri(LV2_EXTERNAL_UI_DEPRECATED_URI);
    LilvNodePtr extensionData = uri(LV2_CORE__extensionData);
    LilvNodePtr showInterface = uri(LV2_UI__showInterface);
    LilvNodePtr requiredFeature = uri(LV2_CORE__requiredFeature);
    LilvNodePtr optionalFeature = uri(LV2_CORE__optionalFeature);
    LilvNodePtr instanceAccess = uri(LV2_INSTANCE_ACCESS_URI);
    LilvNodePtr dataAccess = uri(LV2_DATA_ACCESS_URI);
};

std::string path(const LilvNode* fileUri)
{
    char* parsed = lilv_file_uri_parse(lilv_node_as_uri(fileUri), nullptr);
    std::string result = parsed ? parsed : "";
    lilv_free(parsed);
    return result;
}

bool asks(const UiNodes& n, const LilvNode* ui, const LilvNode* feature)
{
    return lilv_world_ask(n.world, ui, n.requiredFeature.get(), feature) ||
           lilv_world_ask(n.world, ui, n.optionalFeature.get(), feature);
}

std::optional<Lv2UiChoice> kindOf(const UiNodes& n, const LilvUI* ui)
{
    const LilvNode* uri = lilv_ui_get_uri(ui);
    const LilvNode* type = nullptr;
    Lv2UiChoice choice;
    if (lilv_ui_is_supported(ui, &suil_ui_supported, n.x11.get(), &type)) {
        choice.kind = Lv2UiChoice::Kind::embedded;
        choice.typeUri = lilv_node_as_uri(n.x11.get());
    } else if (lilv_ui_is_a(ui, n.kxWidget.get()) || lilv_ui_is_a(ui, n.oldExternal.get())) {
        choice.kind = Lv2UiChoice::Kind::external;
        choice.typeUri = lilv_node_as_uri(lilv_ui_is_a(ui, n.kxWidget.get()) ? n.kxWidget.get()
                                                                             : n.oldExternal.get());
    } else if (lilv_world_ask(n.world, uri, n.extensionData.get(), n.showInterface.get())) {
        const LilvNodes* classes = lilv_ui_get_classes(ui);
        if (lilv_nodes_size(classes) == 0)
            return std::nullopt;
        choice.kind = Lv2UiChoice::Kind::showInterface;
        choice.typeUri = lilv_node_as_uri(lilv_nodes_get(classes, lilv_nodes_begin(classes)));
    } else {
        return std::nullopt;
    }
    choice.uiUri = lilv_node_as_uri(uri);
    choice.bundlePath = path(lilv_ui_get_bundle_uri(ui));
    choice.binaryPath = path(lilv_ui_get_binary_uri(ui));
    choice.instanceAccess = asks(n, uri, n.instanceAccess.get());
    choice.dataAccess = asks(n, uri, n.dataAccess.get());
    return choice;
}

} // namespace

std::optional<Lv2UiChoice> Lv2UiChoice::find(Lv2World& world, const LilvPlugin* plugin)
{
    auto lock = world.lock();
    const UiNodes nodes(world.world());
    const UisPtr uis{lilv_plugin_get_uis(plugin)};
    std::optional<Lv2UiChoice> best;
    LILV_FOREACH(uis, it, uis.get())
    {
        auto choice = kindOf(nodes, lilv_uis_get(uis.get(), it));
        if (choice && choice->binaryPath.size() && (!best || choice->kind < best->kind))
            best = std::move(choice);
    }
    if (best)
        best->pluginUri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
    return best;
}

} // namespace tolvex::host
