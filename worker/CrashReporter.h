#pragma once

#include <memory>

namespace tolvex::worker {

/// Tells the parent which plugin was running when the worker dies of a
/// fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT): the handler
/// writes a crash report to standard output, then the signal takes its
/// course. The plugin is the one whose process call runs on the thread that
/// faulted (the render may run its chain on several threads); a crash on a
/// thread that runs none, or between plugins, is reported outside any plugin.
class CrashReporter {
public:
    /// Installs the handlers; once, before any other thread starts.
    static void install();

    /// Gives a thread that runs plugins (the rendering thread, a stage of
    /// the chain) a signal stack of its own while it lives, so that a plugin
    /// that overflows the thread's stack is reported too. Made and released
    /// on that thread.
    class RenderThread {
    public:
        RenderThread();
        ~RenderThread();
        RenderThread(const RenderThread&) = delete;
        RenderThread& operator=(const RenderThread&) = delete;

    private:
        std::unique_ptr<char[]> m_stack;
    };
};

} // namespace tolvex::worker
