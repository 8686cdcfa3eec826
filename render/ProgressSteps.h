#pragma once

#include <QtGlobal>

#include <algorithm>
#include <functional>

namespace tolvex::render {

/// Passes on the progress of one pass over `total` frames as a share of the
/// whole render, `from`…`to`: in steps of at least 0.01 of the pass, and
/// besides at least once every heartbeatFrames frames, however long the
/// file. A worker's parent takes a render that reports nothing for a minute
/// as hung; this keeps an hour-long pass without plugins (decoding,
/// measuring, encoding) from looking so. Used on the rendering thread.
class ProgressSteps {
public:
    /// Frames between reports at the least: 22 s of audio at 48 kHz, passed
    /// in well under a second by every pass that runs no plugin.
    static constexpr qint64 heartbeatFrames = qint64(1) << 20;

    ProgressSteps(std::function<void(double)> progress, double from, double to, qint64 total)
        : m_progress(std::move(progress)), m_from(from), m_to(to),
          m_total(std::max<qint64>(total, 1))
    {}

    /// `done` frames of the pass are through.
    void reach(qint64 done)
    {
        const double fraction = std::min(double(done) / double(m_total), 1.0);
        if (fraction - m_reported < 0.01 && done - m_reportedFrames < heartbeatFrames)
            return;
        m_reported = fraction;
        m_reportedFrames = done;
        m_progress(m_from + (m_to - m_from) * fraction);
    }

private:
    std::function<void(double)> m_progress;
    double m_from;
    double m_to;
    qint64 m_total;
    double m_reported = 0;
    qint64 m_reportedFrames = 0;
};

} // namespace tolvex::render
