#pragma once

#include <QString>

#include <chrono>
#include <memory>

struct pa_context;
struct pa_mainloop;
struct pa_operation;

namespace tolvex::testing {

/// A control connection to a PulseAudio-protocol server (PulseAudio, or
/// PipeWire's PulseAudio service), spoken to with libpulse from the calling
/// thread. Every wait is bounded; failures throw std::runtime_error.
class ServerControl {
public:
    using Clock = std::chrono::steady_clock;

    /// Connects to `address` ("unix:<socket>"), trying again until the
    /// server answers or `patience` has passed.
    ServerControl(const QString& address, std::chrono::milliseconds patience);
    ~ServerControl();
    ServerControl(const ServerControl&) = delete;
    ServerControl& operator=(const ServerControl&) = delete;

    /// Loads a module into the server, as `pactl load-module` does.
    void loadModule(const QString& name, const QString& arguments);
    /// Makes the sink the default and waits until the server reports it so
    /// (with PipeWire, that takes its session manager).
    void makeDefaultSink(const QString& sink, std::chrono::milliseconds patience);
    /// "<server name> <version>", as the server tells it.
    QString serverName();
    /// Whether the server has put the sink to sleep (suspended it).
    bool sinkAsleep(const QString& sink);
    /// How many playback streams the server has.
    int playbackStreams();

private:
    struct Info {
        QString name, version, defaultSink;
    };
    Info serverInfo();
    bool tryConnect(const QString& address, Clock::time_point deadline);
    /// Runs the loop until `done` or the deadline; false at the deadline.
    template <typename Done>
    bool iterateUntil(Done done, Clock::time_point deadline);
    /// Runs the loop until the operation ends; throws if it does not in 5 s.
    void finish(pa_operation* operation, const char* what);

    struct LoopFree {
        void operator()(pa_mainloop* loop) const;
    };
    struct ContextEnd {
        void operator()(pa_context* context) const;
    };
    std::unique_ptr<pa_mainloop, LoopFree> m_loop;
    std::unique_ptr<pa_context, ContextEnd> m_context;
};

} // namespace tolvex::testing
