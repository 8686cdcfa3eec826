#pragma once

#include "app/MainWindow.h"
#include "app/TolvexApp.h"
#include "tests/support/FakeHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

namespace tolvex::testing {

inline const model::PluginInfo slowGain{model::effectType, 1, 2, "Langsam", "Fake"};

/// A plugin that takes 100 ms per block: an export of a long file stays busy
/// until the test has looked at it.
inline FakePlugin slowPlugin()
{
    return {.info = slowGain, .processor = [] {
                return [](float* const*, int, qint64) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                };
            }};
}

/// The application on a fake host that knows the slow plugin, with its
/// settings and presets in `folder`; a second rig on the same folder is the
/// next start.
struct AppRig {
    explicit AppRig(const QString& folder)
        : app(std::unique_ptr<host::AudioHost>(host = withPlugins(new FakeHost)),
              std::make_unique<QSettings>(folder + "/settings.ini", QSettings::IniFormat),
              folder + "/Ketten")
    {}

    static FakeHost* withPlugins(FakeHost* fake)
    {
        fake->addPlugin(slowPlugin());
        return fake;
    }

    /// A real file at `path`, read by the fake host as `seconds` of mono audio.
    QUrl addAudio(const QString& path, double seconds = 0.1)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("x");
        FakeAudioFile audio;
        audio.channels = {std::vector<float>(size_t(seconds * audio.sampleRate), 0.25f)};
        host->addFile(path, std::move(audio));
        return QUrl::fromLocalFile(path);
    }

    FakeHost* host = nullptr; // owned by the app, which is made after it
    app::TolvexApp app;
};

} // namespace tolvex::testing
