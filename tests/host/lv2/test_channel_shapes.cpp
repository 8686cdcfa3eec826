// Plugins of every shape of audio ports in chains of one, two and three
// channels, through the export's offline engine and the preview's real-time
// engine: what each channel of the chain carries, sample by sample.
#include "host/lv2/Lv2AudioHost.h"
#include "tests/support/Lv2TestSupport.h"
#include "tests/support/ManualOutput.h"

#include <QTest>

#include <functional>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;

namespace {

/// The chain's channels after the plugin, from its channels before, at one frame.
using Expected = std::function<std::vector<float>(const std::vector<float>&)>;
} // namespace

Q_DECLARE_METATYPE(Expected)

namespace {

/// Longer than a block of either engine, so that what a plugin leaves in
/// shared buffers after one block would show in the next.
constexpr qint64 length = 3000;
constexpr qint64 block = 512;

/// A different ramp in each channel.
Channels signal(int channels)
{
    Channels input(static_cast<size_t>(channels), std::vector<float>(size_t{length}));
    for (int c = 0; c < channels; ++c)
        for (qint64 i = 0; i < length; ++i)
            input[size_t(c)][size_t(i)] = float((i + 1) * (c + 1) % 1009 + 1) / 4096.0f;
    return input;
}

float mean(const std::vector<float>& in)
{
    float sum = in[0];
    for (size_t c = 1; c < in.size(); ++c)
        sum += in[c];
    return sum * (1.0f / float(in.size()));
}

Channels preview(Lv2AudioHost& host, ManualOutput*& output, PluginInstance& plugin,
                 const Channels& input)
{
    const AudioFormat format = *AudioFormat::standard(48000, int(input.size()));
    auto engine = host.makeRealtimeEngine();
    auto player = host.makePlayerNode();
    engine->attach(*player);
    engine->attach(plugin);
    engine->connect(*player, plugin, format);
    engine->connect(plugin, engine->mainMixer(), format);
    auto buffer = *AudioBuffer::make(format, length);
    for (size_t c = 0; c < input.size(); ++c)
        std::copy(input[c].begin(), input[c].end(), buffer.channel(int(c)));
    buffer.setFrameLength(length);
    player->schedule(std::move(buffer), {});
    engine->start();
    player->play();
    output->pump(length, block);
    engine->stop();
    engine->detach(plugin);
    engine->detach(*player);
    return output->captured;
}

} // namespace

class TestChannelShapes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachChannelCarriesWhatTheShapeGivesIt_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Expected>("expected");
        const auto row = [](const char* name, const char* plugin, int channels, Expected expected) {
            QTest::newRow(name) << QStringLiteral("urn:tolvex:test:") + QLatin1String(plugin)
                                << channels << expected;
        };
        // Split: out L = in, out R = in / 2.
        row("one in, two out; stereo", "split", 2, [](const std::vector<float>& in) {
            const float m = mean(in);
            return std::vector<float>{m, 0.5f * m};
        });
        row("one in, two out; mono takes both outputs' mean", "split", 1,
            [](const std::vector<float>& in) {
                return std::vector<float>{0.5f * (in[0] + 0.5f * in[0])};
            });
        row("one in, two out; three channels repeat the last", "split", 3,
            [](const std::vector<float>& in) {
                const float m = mean(in);
                return std::vector<float>{m, 0.5f * m, 0.5f * m};
            });
        // Merge: out = L / 2 + R / 4.
        row("two in, one out; stereo", "merge", 2, [](const std::vector<float>& in) {
            const float out = 0.5f * in[0] + 0.25f * in[1];
            return std::vector<float>{out, out};
        });
        row("two in, one out; mono feeds both", "merge", 1, [](const std::vector<float>& in) {
            return std::vector<float>{0.5f * in[0] + 0.25f * in[0]};
        });
        row("two in, one out; three channels, the third unheard", "merge", 3,
            [](const std::vector<float>& in) {
                const float out = 0.5f * in[0] + 0.25f * in[1];
                return std::vector<float>{out, out, out};
            });
        // Matrix: out k = in k + in k+1.
        row("eight in and out; stereo fills the first two", "matrix8", 2,
            [](const std::vector<float>& in) {
                return std::vector<float>{in[0] + in[1], in[1] + 0.0f};
            });
        row("eight in and out; mono", "matrix8", 1, [](const std::vector<float>& in) {
            const float out = in[0] + in[0];
            return std::vector<float>{0.5f * (out + out)};
        });
        // Side chain: out = in + key + CV in, and ones written to CV out.
        row("side chain and CV hear silence; stereo", "sidechain", 2,
            [](const std::vector<float>& in) { return in; });
        row("side chain and CV hear silence; mono", "sidechain", 1,
            [](const std::vector<float>& in) {
                return std::vector<float>{0.5f * (in[0] + in[0])};
            });
        // As before: a copy per channel, and a plugin of the chain's own shape.
        row("one in, one out; a copy per channel", "monogain", 3,
            [](const std::vector<float>& in) { return in; });
        row("as many ports as channels", "gain", 2,
            [](const std::vector<float>& in) { return in; });
    }

    void eachChannelCarriesWhatTheShapeGivesIt()
    {
        QFETCH(QString, uri);
        QFETCH(int, channels);
        QFETCH(Expected, expected);
        ManualOutput* output = nullptr;
        Lv2AudioHost host([&output] {
            auto made = std::make_unique<ManualOutput>();
            output = made.get();
            return made;
        });
        const Channels input = signal(channels);
        const auto info = lv2Info(host, uri.toUtf8().constData());
        const auto exported = instantiateNow(host, info);
        const auto previewed = instantiateNow(host, info);
        QVERIFY(exported && previewed);
        const std::pair<const char*, Channels> runs[] = {
            {"export", render(host, {exported.get()}, input, 48000, block)},
            {"preview", preview(host, output, *previewed, input)},
        };
        for (const auto& [engine, result] : runs) {
            // The preview plays through a device's two channels: a chain of
            // more is heard mixed down, which is the mixer's business.
            if (channels > 2 && result.size() == 2)
                continue;
            QVERIFY2(result.size() >= size_t(channels), engine);
            for (qint64 i = 0; i < length; ++i) {
                std::vector<float> in;
                for (int c = 0; c < channels; ++c)
                    in.push_back(input[size_t(c)][size_t(i)]);
                const std::vector<float> want = expected(in);
                for (int c = 0; c < channels; ++c) {
                    const float got = result[size_t(c)][size_t(i)];
                    if (got != want[size_t(c)])
                        QFAIL(qPrintable(QStringLiteral("%1, channel %2, frame %3: %4, not %5")
                                             .arg(QLatin1String(engine))
                                             .arg(c)
                                             .arg(i)
                                             .arg(double(got))
                                             .arg(double(want[size_t(c)]))));
                }
            }
        }
    }

    void everyShapeTakesOneToEightChannels()
    {
        // Every shape with sound in and out takes one to eight channels;
        // the rate is what a plugin may still refuse.
        Lv2AudioHost host;
        for (const char* uri : {"urn:tolvex:test:split", "urn:tolvex:test:merge",
                                "urn:tolvex:test:matrix8", "urn:tolvex:test:sidechain"}) {
            const auto plugin = instantiateNow(host, lv2Info(host, uri));
            QVERIFY(plugin);
            for (int channels = 1; channels <= 8; ++channels) {
                const AudioFormat format = *AudioFormat::standard(44100, channels);
                QVERIFY2(plugin->setInputFormat(0, format) && plugin->setOutputFormat(0, format),
                         uri);
            }
        }
        const auto picky = instantiateNow(host, lv2Info(host, "urn:tolvex:test:picky"));
        QVERIFY(picky);
        QVERIFY(picky->setInputFormat(0, *AudioFormat::standard(48000, 2)));
        QVERIFY(!picky->setInputFormat(0, *AudioFormat::standard(44100, 2)));
    }
};

QTEST_GUILESS_MAIN(TestChannelShapes)
#include "test_channel_shapes.moc"
