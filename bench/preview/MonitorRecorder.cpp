#include "bench/preview/MonitorRecorder.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace tolvex::bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int channels = 2;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

/// Holds the main loop's lock for a scope; `relax` lets the loop run for a
/// moment, for waits that poll.
class Locked {
public:
    explicit Locked(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(loop); }
    ~Locked() { pa_threaded_mainloop_unlock(m_loop); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    void relax()
    {
        pa_threaded_mainloop_unlock(m_loop);
        std::this_thread::sleep_for(5ms);
        pa_threaded_mainloop_lock(m_loop);
    }

private:
    pa_threaded_mainloop* m_loop;
};

/// Polls `done` with the lock let go in between; false after 10 s.
template <typename Done>
bool waitFor(Locked& lock, Done done)
{
    const auto deadline = Clock::now() + 10s;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        lock.relax();
    }
    return true;
}

} // namespace

MonitorRecorder::MonitorRecorder(const QString& address, const QString& source, double rate,
                                 double maxSeconds, double fragment)
    : m_rate(rate), m_source(source), m_fragment(fragment)
{
    m_levels.reserve(size_t(maxSeconds * rate));
    m_pieces.reserve(size_t(maxSeconds * 1000));
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0)
        throw std::runtime_error("the monitor's main loop does not start");
    Locked lock(m_loop);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "tolvex-bench-monitor");
    const QByteArray server = address.toUtf8();
    if (!m_context ||
        pa_context_connect(m_context, server.constData(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        !waitFor(lock,
                 [this] {
                     return !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) ||
                            pa_context_get_state(m_context) == PA_CONTEXT_READY;
                 }) ||
        pa_context_get_state(m_context) != PA_CONTEXT_READY)
        throw std::runtime_error("the monitor cannot connect to " + address.toStdString());
}

MonitorRecorder::~MonitorRecorder()
{
    if (!m_loop)
        return;
    {
        Locked lock(m_loop);
        dropStream();
        if (m_context)
            pa_context_disconnect(m_context);
    }
    pa_threaded_mainloop_stop(m_loop);
    if (m_context)
        pa_context_unref(m_context);
    pa_threaded_mainloop_free(m_loop);
}

void MonitorRecorder::start()
{
    Locked lock(m_loop);
    dropStream();
    m_levels.clear();
    m_pieces.clear();
    const pa_sample_spec sound{PA_SAMPLE_FLOAT32NE, quint32(m_rate), quint8(channels)};
    m_stream = pa_stream_new(m_context, "tolvex-bench-monitor", &sound, nullptr);
    if (!m_stream)
        throw std::runtime_error("no record stream");
    pa_stream_set_read_callback(m_stream, &MonitorRecorder::readable, this);
    pa_buffer_attr buffer{};
    buffer.maxlength = quint32(-1);
    buffer.fragsize = quint32(pa_usec_to_bytes(pa_usec_t(m_fragment * PA_USEC_PER_SEC), &sound));
    const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE);
    const QByteArray source = m_source.toUtf8();
    if (pa_stream_connect_record(m_stream, source.constData(), &buffer, flags) < 0 ||
        !waitFor(lock, [this] { return pa_stream_get_state(m_stream) != PA_STREAM_CREATING; }) ||
        pa_stream_get_state(m_stream) != PA_STREAM_READY)
        throw std::runtime_error("the monitor does not record from " + m_source.toStdString());
}

void MonitorRecorder::listen()
{
    Locked lock(m_loop);
    if (pa_operation* uncork = pa_stream_cork(m_stream, 0, nullptr, nullptr))
        pa_operation_unref(uncork);
}

void MonitorRecorder::stop()
{
    Locked lock(m_loop);
    dropStream();
    setClock();
}

void MonitorRecorder::setClock()
{
    // The frame clock's origin seen from each piece: its arrival less the
    // time of the frames up to its end, since a piece arrives only after the
    // sink took its last frame (with long pieces, its start would put the
    // origin late by the piece's length).
    std::vector<qint64> origins;
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        const qint64 end =
            i + 1 < m_pieces.size() ? m_pieces[i + 1].firstFrame : qint64(m_levels.size());
        origins.push_back(m_pieces[i].arrival - qint64(double(end) * 1e9 / m_rate));
    }
    const auto window = qint64(m_rate); // a second each way
    size_t from = 0, to = 0;
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        while (m_pieces[from].firstFrame < m_pieces[i].firstFrame - window)
            ++from;
        while (to < m_pieces.size() && m_pieces[to].firstFrame <= m_pieces[i].firstFrame + window)
            ++to;
        const qint64 origin =
            *std::min_element(origins.begin() + qint64(from), origins.begin() + qint64(to));
        m_pieces[i].start = origin + qint64(double(m_pieces[i].firstFrame) * 1e9 / m_rate);
    }
}

void MonitorRecorder::dropStream()
{
    if (!m_stream)
        return;
    pa_stream_set_read_callback(m_stream, nullptr, nullptr);
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
    m_stream = nullptr;
}

void MonitorRecorder::readable(pa_stream* stream, size_t, void* user)
{
    auto* self = static_cast<MonitorRecorder*>(user);
    for (;;) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
            return;
        self->m_pieces.push_back({qint64(self->m_levels.size()), nowNs()});
        const size_t frames = bytes / (sizeof(float) * channels);
        const auto* samples = static_cast<const float*>(data); // null: a hole, silence
        for (size_t f = 0; f < frames; ++f)
            self->m_levels.push_back(
                samples ? std::max(std::abs(samples[2 * f]), std::abs(samples[2 * f + 1])) : 0.0f);
        pa_stream_drop(stream);
    }
}

qint64 MonitorRecorder::playedAt(qint64 frame) const
{
    auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), frame,
                                  [](qint64 f, const Piece& p) { return f < p.firstFrame; });
    if (piece != m_pieces.begin())
        --piece;
    return piece->start + qint64(double(frame - piece->firstFrame) * 1e9 / m_rate);
}

qint64 MonitorRecorder::frameAt(qint64 moment) const
{
    auto piece = std::upper_bound(m_pieces.begin(), m_pieces.end(), moment,
                                  [](qint64 m, const Piece& p) { return m < p.start; });
    if (piece == m_pieces.begin())
        return 0;
    const qint64 end = piece == m_pieces.end() ? qint64(m_levels.size()) : piece->firstFrame;
    --piece;
    const qint64 offset = qint64(std::ceil(double(moment - piece->start) * m_rate / 1e9));
    return std::min(piece->firstFrame + offset, end);
}

std::optional<qint64> MonitorRecorder::firstAbove(float level, qint64 from) const
{
    for (qint64 k = frameAt(from); k < qint64(m_levels.size()); ++k)
        if (m_levels[size_t(k)] > level)
            return playedAt(k);
    return std::nullopt;
}

std::optional<qint64> MonitorRecorder::firstSustained(float level, qint64 from,
                                                      qint64 stretch) const
{
    const qint64 window = std::max<qint64>(1, qint64(m_rate / 1000));
    const qint64 windows = stretch / 1'000'000;
    const auto loud = [&](qint64 begin) {
        return *std::max_element(m_levels.begin() + begin, m_levels.begin() + begin + window) >
               level;
    };
    for (qint64 k = frameAt(from); k + windows * window <= qint64(m_levels.size()); ++k) {
        if (m_levels[size_t(k)] <= level)
            continue;
        qint64 w = 1;
        while (w < windows && loud(k + w * window))
            ++w;
        if (w == windows)
            return playedAt(k);
    }
    return std::nullopt;
}

std::optional<qint64> MonitorRecorder::lastAboveBeforeQuiet(float level, qint64 from,
                                                            qint64 quiet) const
{
    std::optional<qint64> last;
    for (qint64 k = frameAt(from); k < qint64(m_levels.size()); ++k) {
        const qint64 at = playedAt(k);
        if (m_levels[size_t(k)] > level)
            last = at;
        else if (at - last.value_or(from) >= quiet)
            break;
    }
    return last;
}

float MonitorRecorder::peak(qint64 from, qint64 to) const
{
    float peak = 0;
    for (qint64 k = frameAt(from); k < qint64(m_levels.size()) && playedAt(k) < to; ++k)
        peak = std::max(peak, m_levels[size_t(k)]);
    return peak;
}

} // namespace tolvex::bench
