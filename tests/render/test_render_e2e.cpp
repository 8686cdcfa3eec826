// Real files through real plugins into every export format.
#include "host/PropertyList.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "render/Renderer.h"
#include "render/TpdfDither.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <utility>

using namespace tolvex;
using namespace tolvex::render;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

/// A chain entry as the live chain would capture it: the plugin with some
/// parameters changed, its full state as a binary property list.
model::PluginState capture(host::Lv2AudioHost& host, const char* uri,
                           const QList<QPair<QString, float>>& parameters)
{
    const model::PluginInfo info = lv2Info(host, uri);
    auto instance = instantiateNow(host, info);
    for (const auto& [symbol, value] : parameters)
        instance->setParameter(symbol, value);
    return model::PluginState::from(info, false,
                                    host::writeBinaryPropertyList(*instance->fullState()));
}

double rms(const std::vector<float>& samples, qint64 from, qint64 count)
{
    double sum = 0;
    for (qint64 i = from; i < from + count; ++i)
        sum += double(samples[size_t(i)]) * samples[size_t(i)];
    return std::sqrt(sum / double(count));
}

/// The tags ffprobe reads from a file, less what containers add of their
/// own, and whether it holds an attached picture.
QPair<QVariantMap, bool> probeTags(const QString& path)
{
    const QJsonObject probed =
        QJsonDocument::fromJson(runTool("ffprobe", {"-v", "error", "-show_entries",
                                                    "format_tags:stream_disposition=attached_pic",
                                                    "-of", "json", path}))
            .object();
    QVariantMap tags = probed["format"]["tags"].toObject().toVariantMap();
    for (const char* own : {"major_brand", "minor_version", "compatible_brands", "encoder"})
        tags.remove(own);
    bool cover = false;
    for (const QJsonValue& stream : probed["streams"].toArray())
        cover = cover || stream["disposition"]["attached_pic"].toInt() == 1;
    return {tags, cover};
}

/// Dithers to 16 bits as the render of "source.wav" does: the same noise,
/// however the render cut the samples into blocks.
void dither(Signal& signal)
{
    auto buffer = host::AudioBuffer::make(
        *host::AudioFormat::standard(signal.sampleRate, int(signal.channels.size())),
        signal.frames());
    buffer->setFrameLength(signal.frames());
    for (size_t c = 0; c < signal.channels.size(); ++c)
        std::copy(signal.channels[c].begin(), signal.channels[c].end(), buffer->channel(int(c)));
    TpdfDither(TpdfDither::seedFor("source.wav"), buffer->channelCount()).process(*buffer);
    for (size_t c = 0; c < signal.channels.size(); ++c)
        std::copy_n(buffer->channel(int(c)), signal.frames(), signal.channels[c].begin());
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRenderEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<host::Lv2AudioHost> m_host;
    QString m_source;
    Signal m_signal;

    RenderJob job(const QString& name, QList<model::PluginState> plugins, ExportFormat format)
    {
        return {QUrl::fromLocalFile(m_source),
                QUrl::fromLocalFile(m_dir.filePath(name + '.' + model::fileExtension(format))),
                std::move(plugins), format};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_host = std::make_unique<host::Lv2AudioHost>();
        m_signal = sineSignal(rate, 2, qint64(rate * 1.5) + 123);
        m_source = m_dir.filePath("source.wav");
        writeSignal(
            *host::createAudioFile(m_source, model::writerSettings(ExportFormat::wav32f, 2, rate)),
            m_signal);
    }
    void cleanupTestCase() { m_host.reset(); }

    // Every format gets exactly the bytes its writer makes of the expected
    // signal, written in one go: through a gain and a delay, the delay's
    // latency dropped and its tail cut at the first block that starts after
    // source and latency; WAV 16 dithered.
    void everyFormatGetsWhatItsWriterMakes_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<bool>("withChain");
        for (ExportFormat format : model::allExportFormats)
            QTest::newRow(qPrintable(model::rawValue(format))) << format << true;
        QTest::newRow("wav24, empty chain") << ExportFormat::wav24 << false;
    }
    void everyFormatGetsWhatItsWriterMakes()
    {
        QFETCH(ExportFormat, format);
        QFETCH(bool, withChain);
        QList<model::PluginState> chain;
        if (withChain)
            chain = {capture(*m_host, "urn:tolvex:test:gain", {{"gain", 1.5f}}),
                     capture(*m_host, "urn:tolvex:test:delay", {{"frames", 333}})};
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(", ", "-");
        const RenderJob render = job(name, chain, format);
        std::vector<double> progress;
        renderFile(*m_host, render, [&](double p) { progress.push_back(p); });
        QCOMPARE(progress.back(), 1.0);

        Signal expected = m_signal;
        if (withChain) {
            const qint64 length = (m_signal.frames() + 333 + 4095) / 4096 * 4096 - 333;
            for (auto& channel : expected.channels) {
                for (float& sample : channel)
                    sample *= 1.5f;
                channel.resize(size_t(length));
            }
        }
        if (withChain && format == ExportFormat::wav16)
            dither(expected);
        const QString direct = m_dir.filePath(name + "-direct." + model::fileExtension(format));
        writeSignal(*host::createAudioFile(direct, model::writerSettings(format, 2, rate)),
                    expected);
        QVERIFY(bytesOf(direct).size() > 1000);
        QCOMPARE(bytesOf(render.target.toLocalFile()), bytesOf(direct));
    }

    // The folder or the source changed while a file renders: the file fails
    // with a message, and nothing stays in the folder, hidden or not.
    void changesUnderwayFailTheFile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder deleted") << "delete" << ExportFormat::wav24 << "Zielordner";
        QTest::newRow("folder made anew, m4a") << "remake" << ExportFormat::m4a << "Zielordner";
        QTest::newRow("source cut")
            << "cut" << ExportFormat::wav24 << "„cut.wav“ ist kürzer als angegeben";
    }
    void changesUnderwayFailTheFile()
    {
        QFETCH(QString, change);
        QFETCH(ExportFormat, format);
        QFETCH(QString, message);
        const QString folder = m_dir.filePath("changed-" + change);
        QVERIFY(QDir().mkpath(folder));
        RenderJob render = job("changed-" + change + "/x", {}, format);
        const QString cut = m_dir.filePath("cut.wav");
        if (change == u"cut") {
            writeSignal(
                *host::createAudioFile(cut, model::writerSettings(ExportFormat::wav32f, 2, rate)),
                sineSignal(rate, 2, qint64(rate * 3)));
            render.source = QUrl::fromLocalFile(cut);
        }
        bool changed = false;
        const auto changeOnce = [&](double) {
            if (std::exchange(changed, true))
                return;
            if (change == u"cut")
                QFile::resize(cut, QFileInfo(cut).size() / 3);
            else
                QDir(folder).removeRecursively();
            if (change == u"remake")
                QDir().mkpath(folder);
        };
        QString error;
        try {
            renderFile(*m_host, render, changeOnce);
        } catch (const model::UserError& failure) {
            error = failure.message();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!QFile::exists(render.target.toLocalFile()));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // fil4 glides from its defaults to the gain of its state; the file must
    // not hear that glide.
    void firstBlockHasTheChosenGain()
    {
        const model::PluginState fil4 =
            capture(*m_host, "http://gareus.org/oss/lv2/fil4#stereo", {{"gain", 12}});
        const RenderJob render = job("fil4", {fil4}, ExportFormat::wav32f);
        renderFile(*m_host, render, [](double) {});
        const Signal out = readToEnd(*host::openAudioFile(render.target.toLocalFile()));
        const double first = rms(out.channels[0], 0, 4096);
        const double later = rms(out.channels[0], 4096 * 10, 4096);
        QVERIFY2(std::abs(first / later - 1) < 0.02, qPrintable(QString::number(first / later)));
        QVERIFY(std::abs(later / rms(m_signal.channels[0], 4096 * 10, 4096) - 3.98) < 0.1);
    }

    // A stored state that cannot be read safely, as one that does not
    // decode, leaves its plugin at its defaults: the file sounds as without
    // the state.
    void unreadableStatesExportAtTheDefaults_data()
    {
        QTest::addColumn<QByteArray>("state");
        const QString fil4 = "http://gareus.org/oss/lv2/fil4#stereo";
        QTest::newRow("turtle without a preset") << *host::writeBinaryPropertyList(
            {{"uri", fil4}, {"state", "<urn:a> <urn:b> <urn:c> ."}});
        QTest::newRow("xml nested 100000 deep")
            << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>uri</key><array>" +
                   QByteArray("<array>").repeated(100000) +
                   QByteArray("</array>").repeated(100001) + "</dict></plist>";
    }
    void unreadableStatesExportAtTheDefaults()
    {
        QFETCH(QByteArray, state);
        auto entry = model::PluginState::from(
            lv2Info(*m_host, "http://gareus.org/oss/lv2/fil4#stereo"), false, std::nullopt);
        const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        const RenderJob plain = job(name + "-defaults", {entry}, ExportFormat::wav32f);
        entry.state = state;
        const RenderJob unreadable = job(name, {entry}, ExportFormat::wav32f);
        for (const RenderJob& render : {plain, unreadable})
            renderFile(*m_host, render, [](double) {});
        QCOMPARE(readToEnd(*host::openAudioFile(unreadable.target.toLocalFile())).channels,
                 readToEnd(*host::openAudioFile(plain.target.toLocalFile())).channels);
    }

    void tagsAreKeptWhereTheFormatHoldsThem_data()
    {
        QTest::addColumn<QString>("source"); // made by ffmpeg; "" without tags
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QStringList>("kept"); // ffprobe's names; "author=artist": renamed
        QTest::addColumn<bool>("cover");
        const QStringList all{"title", "artist", "album", "track", "date", "genre", "comment"};
        QTest::newRow("flac with cover to m4a") << "flac" << ExportFormat::m4a << all << true;
        QTest::newRow("mp3 with cover to wav24") << "mp3" << ExportFormat::wav24 << all << false;
        QTest::newRow("ogg to wav16") << "ogg" << ExportFormat::wav16 << all << false;
        QTest::newRow("m4a with cover to aiff24")
            << "m4a" << ExportFormat::aiff24 << QStringList{"title", "author=artist", "comment"}
            << false;
        QTest::newRow("untagged to m4a") << "" << ExportFormat::m4a << QStringList{} << false;
        QTest::newRow("untagged to wav32f") << "" << ExportFormat::wav32f << QStringList{} << false;
        QTest::newRow("untagged to aiff24") << "" << ExportFormat::aiff24 << QStringList{} << false;
    }
    void tagsAreKeptWhereTheFormatHoldsThem()
    {
        QFETCH(QString, source);
        QFETCH(ExportFormat, format);
        QFETCH(QStringList, kept);
        QFETCH(bool, cover);
        const QVariantMap values{{"title", "Über den Wolken"},
                                 {"artist", "Bärbel Größ"},
                                 {"album", "Lieder für später"},
                                 {"track", "3/12"},
                                 {"date", "2021"},
                                 {"genre", "Schlager"},
                                 {"comment", "Grüße aus Köln"}};
        RenderJob render = job(QStringLiteral("tags-") + QTest::currentDataTag(), {}, format);
        if (!source.isEmpty()) {
            const QString picture = m_dir.filePath("cover.jpg");
            if (!QFile::exists(picture))
                runTool("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "color=c=red:s=64x48",
                                   "-frames:v", "1", picture});
            QStringList arguments{"-v", "error", "-i", m_source};
            if (source != u"ogg")
                arguments << "-i" << picture
                          << QStringLiteral(
                                 "-map 0:a -map 1:v -c:v copy -disposition:v attached_pic")
                                 .split(' ');
            for (auto [key, value] : values.asKeyValueRange())
                arguments << "-metadata" << key + '=' + value.toString();
            const QString tagged = m_dir.filePath(render.target.fileName() + '.' + source);
            runTool("ffmpeg", arguments << tagged);
            render.source = QUrl::fromLocalFile(tagged);
        }
        renderFile(*m_host, render, [](double) {});
        QVariantMap expected;
        for (const QString& name : kept)
            expected[name.section('=', 0, 0)] = values[name.section('=', -1)];
        QCOMPARE(probeTags(render.target.toLocalFile()), qMakePair(expected, cover));
    }

    void limiterMatchesFfmpegOnceItsLatencyIsRemoved()
    {
        const model::PluginState dpl = capture(*m_host, "http://gareus.org/oss/lv2/dpl#stereo",
                                               {{"threshold", -9}, {"gain", 6}});
        const RenderJob render = job("dpl", {dpl}, ExportFormat::wav32f);
        renderFile(*m_host, render, [](double) {});
        const Signal ours = readToEnd(*host::openAudioFile(render.target.toLocalFile()));

        const QString theirsPath = m_dir.filePath("dpl-ffmpeg.wav");
        // The render settles the limiter's gain on a second of silence first;
        // ffmpeg gets the same second in front and drops it again.
        runTool("ffmpeg", {"-v", "error", "-y", "-i", m_source, "-af",
                           "adelay=delays=48000S:all=1,"
                           "lv2='p=http\\://gareus.org/oss/lv2/dpl#stereo:c=threshold=-9|gain=6',"
                           "atrim=start_sample=48000",
                           "-c:a", "pcm_f32le", theirsPath});
        if (QTest::currentTestFailed())
            return;
        const Signal theirs = readToEnd(*host::openAudioFile(theirsPath));

        auto instance =
            instantiateNow(*m_host, lv2Info(*m_host, "http://gareus.org/oss/lv2/dpl#stereo"));
        instance->setInputFormat(0, *host::AudioFormat::standard(rate, 2));
        const qint64 latency = std::llround(instance->latency() * rate);
        QVERIFY(latency > 0);
        const qint64 count = theirs.frames() - latency;
        for (size_t c = 0; c < 2; ++c) {
            const double db = differenceDb(theirs.channels[c], ours.channels[c], latency, count);
            QVERIFY2(db < -90, qPrintable(QString::number(db)));
        }
    }
};

QTEST_GUILESS_MAIN(TestRenderEndToEnd)
#include "test_render_e2e.moc"
