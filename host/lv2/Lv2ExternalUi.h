#pragma once

// The external-UI extension (kxstudio), which LV2 itself does not ship: an
// interface that opens a window of its own, which the host shows, hides and
// runs. The layout of these structs is fixed by the extension.

#include <lv2/ui/ui.h>

#define LV2_EXTERNAL_UI__Host "http://kxstudio.sf.net/ns/lv2ext/external-ui#Host"
#define LV2_EXTERNAL_UI__Widget "http://kxstudio.sf.net/ns/lv2ext/external-ui#Widget"
#define LV2_EXTERNAL_UI_DEPRECATED_URI "http://lv2plug.in/ns/extensions/ui#external"

extern "C" {

struct LV2_External_UI_Widget {
    void (*run)(LV2_External_UI_Widget* self);
    void (*show)(LV2_External_UI_Widget* self);
    void (*hide)(LV2_External_UI_Widget* self);
};

struct LV2_External_UI_Host {
    /// The interface's window was closed by the user.
    void (*ui_closed)(LV2UI_Controller controller);
    const char* plugin_human_id;
};
}
