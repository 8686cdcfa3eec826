// The DSP cost of packaged LV2 plugins run through Tolvex's offline engine,
// beside lv2bench (from lilv) running the same plugins in the same program
// run: same frames, block size and rate, silent input.
#include "bench/BenchSupport.h"
#include "host/lv2/Lv2AudioHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <future>

using namespace tolvex;
using bench::instantiate;

namespace {

constexpr double rate = 48000;
constexpr qint64 frames = 4800000; // 100 s
constexpr qint64 block = 4096;
constexpr int runs = 5;

double throughTolvex(host::AudioHost& host, host::PluginInstance& instance)
{
    bench::SoloEngine engine(host, instance, *host::AudioFormat::standard(rate, 2), block);
    QElapsedTimer timer;
    timer.start();
    for (qint64 done = 0; done < frames; done += block) {
        engine.input().setFrameLength(std::min(block, frames - done));
        engine.render();
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

double throughLv2bench(const char* uri)
{
    QProcess process;
    process.start("lv2bench", {"-n", QString::number(frames), "-b", QString::number(block),
                               QString::fromUtf8(uri)});
    process.waitForFinished(-1);
    // The last line is "SECONDS URI".
    const auto lines = QString::fromUtf8(process.readAllStandardOutput()).trimmed().split(u'\n');
    return lines.isEmpty() ? -1 : lines.last().section(u' ', 0, 0).toDouble();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    host::Lv2AudioHost host;
    const char* plugins[] = {"http://gareus.org/oss/lv2/fil4#stereo",
                             "http://gareus.org/oss/lv2/darc#stereo",
                             "http://gareus.org/oss/lv2/dpl#stereo"};
    std::printf("%lld frames at %.0f Hz in blocks of %lld, best of %d runs each\n\n", frames, rate,
                block, runs);
    std::printf("%-42s %11s %11s %8s\n", "plugin", "Tolvex (s)", "lv2bench (s)", "ratio");
    for (const char* uri : plugins) {
        auto instance = instantiate(host, uri);
        if (!instance) {
            std::printf("%-42s not installed\n", uri);
            continue;
        }
        double ours = 1e9;
        double theirs = 1e9;
        for (int run = 0; run < runs; ++run) {
            ours = std::min(ours, throughTolvex(host, *instance));
            theirs = std::min(theirs, throughLv2bench(uri));
        }
        std::printf("%-42s %11.4f %11.4f %8.3f\n", uri, ours, theirs, ours / theirs);
    }
    std::printf("\nratio = Tolvex / lv2bench; the excess over 1 is the host's overhead.\n");
    return 0;
}
