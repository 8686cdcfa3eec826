#pragma once

// The chain and the material the render benchmarks share: fil4 -> darc ->
// dpl (x42-plugins) with fixed parameters, the same chain as an ffmpeg lv2
// filter, and a generated 44.1 kHz stereo source (two tones and noise).
#include "bench/BenchSupport.h"
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/ExportFormat.h"
#include "model/PluginState.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>

namespace tolvex::bench {

constexpr double sourceRate = 44100;

/// Plugin URIs with their controls, as "symbol=value|…".
inline const char* const fixedChain[][2] = {
    {"http://gareus.org/oss/lv2/fil4#stereo", "sec1=1|freq1=800|gain1=6|HighPass=1|HPfreq=60"},
    {"http://gareus.org/oss/lv2/darc#stereo", "threshold=-20|Ratio=0.5"},
    {"http://gareus.org/oss/lv2/dpl#stereo", "threshold=-3"},
};

/// Writes `seconds` of the source as WAV 24, at `rate` with `channels`
/// channels (the tones alternate between them); `seed` varies its noise.
inline void makeSource(const QString& path, double seconds, quint32 seed = 7,
                       double rate = sourceRate, int channels = 2)
{
    auto writer = host::createAudioFile(
        path, model::writerSettings(model::ExportFormat::wav24, channels, rate));
    auto buffer = *host::AudioBuffer::make(*host::AudioFormat::standard(rate, channels), 4096);
    quint32 noise = seed;
    const qint64 frames = qint64(seconds * rate);
    for (qint64 done = 0; done < frames; done += 4096) {
        const qint64 n = std::min<qint64>(4096, frames - done);
        for (qint64 i = 0; i < n; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double t = double(done + i) / rate;
            const double d = double(int32_t(noise)) / 2147483648.0 * 0.05;
            for (int c = 0; c < channels; ++c)
                buffer.channel(c)[i] = c % 2 == 0 ? float(0.5 * std::sin(2 * M_PI * 220 * t) + d)
                                                  : float(0.4 * std::sin(2 * M_PI * 1375 * t) - d);
        }
        buffer.setFrameLength(n);
        writer->write(buffer);
    }
    writer->finish();
}

/// Sets the controls of one entry of fixedChain ("symbol=value|…").
inline void setControls(host::PluginInstance& instance, const char* controls)
{
    for (const QString& control : QString::fromLatin1(controls).split(u'|')) {
        const auto parts = control.split(u'=');
        instance.setParameter(parts[0], parts[1].toFloat());
    }
}

/// The fixed chain as stored plugin states, each with its controls set.
inline QList<model::PluginState> capturedChain(host::Lv2AudioHost& host)
{
    QList<model::PluginState> plugins;
    for (const auto& [uri, controls] : fixedChain) {
        auto instance = instantiate(host, uri);
        setControls(*instance, controls);
        plugins.append(
            model::PluginState::from(*host.find(QString::fromUtf8(uri)), false,
                                     host::writeBinaryPropertyList(*instance->fullState())));
    }
    return plugins;
}

/// The fixed chain as ffmpeg's filter graph.
inline QString ffmpegFilter()
{
    QStringList filters;
    for (const auto& [uri, controls] : fixedChain)
        filters << "lv2='p=" + QString::fromLatin1(uri).replace(u':', QStringLiteral("\\:")) +
                       ":c=" + QString::fromLatin1(controls) + "'";
    return filters.join(u',');
}

} // namespace tolvex::bench
