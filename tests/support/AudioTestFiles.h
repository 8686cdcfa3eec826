#pragma once

#include "host/AudioFile.h"
#include "model/WriterSettings.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace tolvex::testing {

/// Audio held in memory for tests: one vector of samples per channel.
struct Signal {
    double sampleRate = 48000;
    std::vector<std::vector<float>> channels;

    qint64 frames() const { return channels.empty() ? 0 : qint64(channels.front().size()); }
};

/// Sines of a different pitch on every channel at half scale (channel 3: 50 Hz).
Signal sineSignal(double sampleRate, int channels, qint64 frames);

/// Writes a signal through a writer in blocks of `block` frames and finishes.
void writeSignal(host::AudioFileWriter& writer, const Signal& signal, qint64 block = 4096);

/// Reads a file from its current position to its end, in blocks.
Signal readToEnd(host::AudioFileReader& reader, qint64 block = 4096);

/// Largest absolute difference of the overlap, frames from...to (< 0: from the end).
double maxDifference(const std::vector<float>& a, const std::vector<float>& b, qint64 from = 0,
                     qint64 to = -1);

/// Signal-to-noise ratio of `decoded` against `reference` in dB, frames from..to.
double snrDb(const std::vector<float>& reference, const std::vector<float>& decoded, qint64 from,
             qint64 to);

/// Energy of (reference shifted by `offset`) minus `other` relative to the
/// reference's energy, in dB, over `count` frames (-1: as many as both
/// have); -400 when they are identical.
double differenceDb(const std::vector<float>& reference, const std::vector<float>& other,
                    qint64 offset = 0, qint64 count = -1);

/// Integrated loudness (LUFS) and true peak (dBTP) as FFmpeg's ebur128
/// filter measures the files played one after the other, from its summary.
std::pair<double, double> ffmpegLoudness(const QStringList& paths);

/// Runs a command-line tool; returns its standard output, or fails the test.
QByteArray runTool(const QString& program, const QStringList& arguments);

} // namespace tolvex::testing
