#include "tests/support/soundserver/ServerControl.h"

#include <pulse/pulseaudio.h>

#include <stdexcept>
#include <thread>

namespace tolvex::testing {

using namespace std::chrono_literals;

void ServerControl::LoopFree::operator()(pa_mainloop* loop) const
{
    pa_mainloop_free(loop);
}

void ServerControl::ContextEnd::operator()(pa_context* context) const
{
    pa_context_disconnect(context);
    pa_context_unref(context);
}

ServerControl::ServerControl(const QString& address, std::chrono::milliseconds patience)
    : m_loop(pa_mainloop_new())
{
    const auto deadline = Clock::now() + patience;
    while (!tryConnect(address, deadline)) {
        if (Clock::now() >= deadline)
            throw std::runtime_error("no server answers at " + address.toStdString());
        std::this_thread::sleep_for(50ms);
    }
}

ServerControl::~ServerControl() = default;

bool ServerControl::tryConnect(const QString& address, Clock::time_point deadline)
{
    m_context.reset(pa_context_new(pa_mainloop_get_api(m_loop.get()), "tolvex-bench"));
    if (!m_context)
        return false;
    const QByteArray server = address.toUtf8();
    if (pa_context_connect(m_context.get(), server.constData(), PA_CONTEXT_NOAUTOSPAWN, nullptr) <
        0)
        return false;
    pa_context* context = m_context.get();
    iterateUntil(
        [context] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    return pa_context_get_state(context) == PA_CONTEXT_READY;
}

template <typename Done>
bool ServerControl::iterateUntil(Done done, Clock::time_point deadline)
{
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        // A bounded poll: the loop wakes at least every 20 ms to look at the clock.
        if (pa_mainloop_prepare(m_loop.get(), 20000) < 0 || pa_mainloop_poll(m_loop.get()) < 0 ||
            pa_mainloop_dispatch(m_loop.get()) < 0)
            return false;
    }
    return true;
}

void ServerControl::finish(pa_operation* operation, const char* what)
{
    if (!operation)
        throw std::runtime_error(std::string(what) + ": " +
                                 pa_strerror(pa_context_errno(m_context.get())));
    const bool ended = iterateUntil(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
        Clock::now() + 5s);
    pa_operation_unref(operation);
    if (!ended)
        throw std::runtime_error(std::string(what) + ": no answer");
}

void ServerControl::loadModule(const QString& name, const QString& arguments)
{
    uint32_t index = PA_INVALID_INDEX;
    finish(pa_context_load_module(
               m_context.get(), name.toUtf8().constData(), arguments.toUtf8().constData(),
               [](pa_context*, uint32_t loaded, void* user) {
                   *static_cast<uint32_t*>(user) = loaded;
               },
               &index),
           "load-module");
    if (index == PA_INVALID_INDEX)
        throw std::runtime_error("the server refused " + name.toStdString() + " " +
                                 arguments.toStdString());
}

void ServerControl::makeDefaultSink(const QString& sink, std::chrono::milliseconds patience)
{
    const auto deadline = Clock::now() + patience;
    for (;;) {
        finish(pa_context_set_default_sink(m_context.get(), sink.toUtf8().constData(), nullptr,
                                           nullptr),
               "set-default-sink");
        if (serverInfo().defaultSink == sink)
            return;
        if (Clock::now() >= deadline)
            throw std::runtime_error("the server does not take " + sink.toStdString() +
                                     " as its default sink");
        std::this_thread::sleep_for(100ms);
    }
}

ServerControl::Info ServerControl::serverInfo()
{
    Info info;
    finish(pa_context_get_server_info(
               m_context.get(),
               [](pa_context*, const pa_server_info* server, void* user) {
                   if (!server)
                       return;
                   auto& out = *static_cast<Info*>(user);
                   out.name = QString::fromUtf8(server->server_name);
                   out.version = QString::fromUtf8(server->server_version);
                   out.defaultSink = QString::fromUtf8(server->default_sink_name);
               },
               &info),
           "server-info");
    return info;
}

QString ServerControl::serverName()
{
    const Info info = serverInfo();
    return info.name + u' ' + info.version;
}

bool ServerControl::sinkAsleep(const QString& sink)
{
    bool asleep = false;
    finish(pa_context_get_sink_info_by_name(
               m_context.get(), sink.toUtf8().constData(),
               [](pa_context*, const pa_sink_info* info, int end, void* user) {
                   if (!end && info)
                       *static_cast<bool*>(user) = info->state == PA_SINK_SUSPENDED;
               },
               &asleep),
           "sink-info");
    return asleep;
}

int ServerControl::playbackStreams()
{
    int count = 0;
    finish(pa_context_get_sink_input_info_list(
               m_context.get(),
               [](pa_context*, const pa_sink_input_info* info, int end, void* user) {
                   if (!end && info)
                       ++*static_cast<int*>(user);
               },
               &count),
           "sink-inputs");
    return count;
}

} // namespace tolvex::testing
