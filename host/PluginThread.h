#pragma once

namespace tolvex::host {

/// What a thread of the render's own holds while it runs plugins, made for
/// it by the host (AudioHost::preparePluginThread): say, a signal stack for
/// a crash guard. Made and released on that thread.
class PluginThread {
public:
    virtual ~PluginThread() = default;
};

} // namespace tolvex::host
