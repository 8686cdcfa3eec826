// The chain's logic against the fake host.
#include "chain/Chain.h"
#include "model/ChainDocument.h"
#include "tests/support/FakeHost.h"

#include <QCoroTask>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tolvex;
using namespace tolvex::chain;
using namespace tolvex::testing;

namespace {

model::PluginInfo plugin(const char* name, quint32 subtype, const char* vendor = "Fake",
                         quint32 type = model::effectType)
{
    return {type, subtype, model::fourCC("Fake"), QString::fromUtf8(name),
            QString::fromUtf8(vendor)};
}

FakeAudioFile tone(int channels, qint64 frames, double rate = 48000)
{
    FakeAudioFile file;
    file.sampleRate = rate;
    for (int c = 0; c < channels; ++c)
        file.channels.emplace_back(size_t(frames), 0.25f * float(c + 1));
    return file;
}

model::AudioItem item(const QString& path, double rate = 48000)
{
    return model::AudioItem::make(QUrl::fromLocalFile(path), rate, 2, 0);
}

class FakeWindow : public EditorWindow {
public:
    FakeWindow(Chain& chain, QUuid id, int& closes) : m_chain(chain), m_id(id), m_closes(closes) {}
    void raise() override { ++raises; }
    void close() override
    {
        ++m_closes;
        m_chain.editorClosed(m_id); // as the will-close handler does
    }
    int raises = 0;

private:
    Chain& m_chain;
    QUuid m_id;
    int& m_closes;
};

} // namespace

class TestChain : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_settingsCounter = 0;

    std::unique_ptr<QSettings> freshSettings()
    {
        return std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("settings%1.ini").arg(++m_settingsCounter)),
            QSettings::IniFormat);
    }

    static QStringList names(const Chain& chain)
    {
        QStringList list;
        for (const Slot* slot : chain.slots())
            list << slot->info().name;
        return list;
    }

    static QList<model::PluginState> saved(QSettings& settings)
    {
        return model::decodeChain(settings.value("chain").toByteArray())
            .value_or(QList<model::PluginState>{});
    }

private Q_SLOTS:
    void catalogueOrder()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("Zeta", 1, "beta Audio")});
        host.addPlugin({.info = plugin("Echo", 2, "Apple")});
        host.addPlugin({.info = plugin("delay", 3, "Alpha")});
        host.addPlugin({.info = plugin("Delay", 4, "Alpha")});
        host.addPlugin({.info = plugin("Chorus", 5, "apple")});
        host.addPlugin({.info = plugin("Delay", 6, "Alpha", model::musicEffectType)});
        host.addPlugin({.info = plugin("Ätna", 7, "Alpha")});
        host.addPlugin({.info = plugin("Amp", 8, "beta Audio")});
        auto settings = freshSettings();
        Chain chain(host, *settings);

        QStringList order;
        for (const auto& info : chain.available())
            order << info.vendor + '/' + info.name + '/' + QString::number(info.codes.subtype);
        // Equal keys keep the registry's order, plain effects before music effects.
        QCOMPARE(order, (QStringList{"Alpha/delay/3", "Alpha/Delay/4", "Alpha/Delay/6",
                                     "Alpha/Ätna/7", "apple/Chorus/5", "Apple/Echo/2",
                                     "beta Audio/Amp/8", "beta Audio/Zeta/1"}));
        QStringList groups;
        for (const auto& group : chain.vendorGroups())
            groups << group.vendor + ':' + QString::number(group.plugins.size());
        QCOMPARE(groups, (QStringList{"Alpha:4", "apple:1", "beta Audio:2", "Apple:1"}));

        FakeHost empty;
        Chain nothing(empty, *freshSettings());
        QVERIFY(nothing.available().isEmpty());
        QVERIFY(nothing.vendorGroups().isEmpty());
    }

    void overlappingAddsShareTheLoadingFlag()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1)});
        host.addPlugin({.info = plugin("B", 2)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        QList<bool> loading;
        connect(&chain, &Chain::loadingChanged, this, [&](bool value) { loading << value; });
        host.instantiationDelayMs = 100;
        auto first = chain.addPlugin(plugin("A", 1), std::nullopt, false, false);
        host.instantiationDelayMs = 300;
        auto second = chain.addPlugin(plugin("B", 2), std::nullopt, false, false);
        QVERIFY(chain.loading());
        QCoro::waitFor(first);
        QCOMPARE(names(chain), QStringList{"A"});
        QVERIFY(!chain.loading()); // one flag: the first to finish clears it
        QCoro::waitFor(second);
        QCOMPARE(names(chain), (QStringList{"A", "B"}));
        QCOMPARE(loading, (QList<bool>{true, false})); // the second start found it set
        QCOMPARE(saved(*settings).size(), 2);
    }

    void compareModeAndBypass()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.setCompareOriginal(true);
        QCoro::waitFor(chain.addPlugin(plugin("A", 1), std::nullopt, false, false));
        Slot* slot = chain.slots().first();
        QVERIFY(!slot->bypass());
        QVERIFY(slot->unit().bypass()); // bypassed at the plugin while comparing
        chain.setCompareOriginal(false);
        QVERIFY(!slot->unit().bypass());

        chain.setCompareOriginal(true);
        slot->setBypass(true);
        slot->setBypass(false); // the slot path sets the plugin to the slot's flag alone
        QVERIFY(!slot->unit().bypass());
        chain.setCompareOriginal(true); // the next change applies the combined rule again
        QVERIFY(slot->unit().bypass());
        QVERIFY(chain.renderStates().size() == 1); // compare mode is not an export setting
    }

    void failedInstantiation()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1)});
        host.addPlugin({.info = plugin("X", 2), .failsToInstantiate = true});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        QCoro::waitFor(chain.addPlugin(plugin("A", 1), std::nullopt, false, false));
        QCoro::waitFor(chain.addPlugin(plugin("X", 2), std::nullopt, false, true));
        QCOMPARE(chain.lastError(), QStringLiteral("„X“ lässt sich nicht laden."));
        QCOMPARE(names(chain), QStringList{"A"});
        QVERIFY(!chain.loading());
    }

    void clearOnAnEmptyChainSavesNothing()
    {
        FakeHost host;
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.clear();
        QVERIFY(!settings->contains("chain"));
        QCoro::waitFor(chain.load({}));
        QVERIFY(!settings->contains("chain"));
        QCOMPARE(chain.generation(), 0); // nothing was stopped either
    }

    void removingTheMiddleSlotRewires()
    {
        FakeHost host;
        host.addFile("/a.wav", tone(2, 100000));
        for (quint32 i = 1; i <= 3; ++i)
            host.addPlugin({.info = plugin(QByteArray::number(i).prepend("P").constData(), i)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        for (quint32 i = 1; i <= 3; ++i)
            QCoro::waitFor(
                chain.addPlugin(plugin(QByteArray::number(i).prepend("P").constData(), i),
                                std::nullopt, false, false));
        int closes = 0;
        const QUuid middle = chain.slots()[1]->id();
        chain.registerEditor(middle, std::make_unique<FakeWindow>(chain, middle, closes));
        chain.play(item("/a.wav"), 0);
        QVERIFY(chain.isPlaying(chain.playingID().value()));
        chain.removeSlot(chain.slots()[1]);
        QVERIFY(!chain.playingID()); // removing stops the preview
        QCOMPARE(closes, 1);
        QVERIFY(!chain.hasEditor(middle));
        QCOMPARE(saved(*settings).size(), 2);
        chain.play(item("/a.wav"), 0);
        QCOMPARE(host.realtimeEngine()->graph().route(chain.player()),
                 (QStringList{"player", "P1", "P3", "mixer"}));

        chain.moveSlots({1}, 0);
        QCOMPARE(names(chain), (QStringList{"P3", "P1"}));
        QVERIFY(!chain.playingID());
        QCOMPARE(saved(*settings).first().name, QStringLiteral("P3"));
    }

    void restoreSkipsAMissingPlugin()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1), .state = host::PropertyDictionary{{"gain", 2}}});
        host.addPlugin({.info = plugin("C", 3)});
        auto settings = freshSettings();
        const QList<model::PluginState> stored{
            model::PluginState::from(plugin("A", 1), true,
                                     host::writeBinaryPropertyList({{"gain", 5}})),
            model::PluginState::from(plugin("Missing", 2), false),
            model::PluginState::from(plugin("C", 3), false),
        };
        settings->setValue("chain", model::encodeChain(stored));
        Chain chain(host, *settings);
        QTRY_COMPARE(names(chain), (QStringList{"A", "C"}));
        QTRY_VERIFY(!chain.loading());
        QCOMPARE(chain.lastError(), QStringLiteral("„Missing“ lässt sich nicht laden."));
        QVERIFY(chain.slots()[0]->bypass());
        QCOMPARE(chain.slots()[0]->unit().fullState()->value("gain").toInt(), 5);
        const auto record = saved(*settings);
        QCOMPARE(record.size(), 2);
        QCOMPARE(record[1].name, QStringLiteral("C"));

        // renderStates leaves bypassed slots out, whatever compare mode says.
        chain.setCompareOriginal(true);
        const auto states = chain.renderStates();
        QCOMPARE(states.size(), 1);
        QCOMPARE(states[0].name, QStringLiteral("C"));
        QVERIFY(!states[0].bypass);
    }

    void anUnreadableAutosaveLeavesTheChainEmpty()
    {
        FakeHost host;
        auto settings = freshSettings();
        settings->setValue("chain", QByteArray("[{\"type\":1}]"));
        Chain chain(host, *settings);
        QVERIFY(chain.slots().isEmpty());
        QCOMPARE(settings->value("chain").toByteArray(), QByteArray("[{\"type\":1}]"));
    }

    void previewSchedulesBlocksAndEnds()
    {
        FakeHost host;
        host.addFile("/mono.wav", tone(1, Chain::blockFrames * 5 + 10));
        auto settings = freshSettings();
        Chain chain(host, *settings);
        const model::AudioItem mono = item("/mono.wav");
        chain.play(mono, 0);
        QVERIFY(chain.isPlaying(mono.id));
        QCOMPARE(chain.pending(), 4);
        QVERIFY(host.player()->isPlaying());
        QVERIFY(host.realtimeEngine()->isRunning());
        const auto first = host.player()->queuedSamples(0);
        QCOMPARE(first.size(), size_t(2));
        QCOMPARE(first[1][100], first[0][100]); // mono on both channels

        for (int i = 0; i < 6; ++i) {
            QVERIFY(host.player()->finishNext());
            QTest::qWait(5);
        }
        QTRY_VERIFY(!chain.playingID()); // played to its end
        QVERIFY(!host.realtimeEngine()->isRunning());
        QCOMPARE(chain.pending(), 0);
    }

    void stalePreviewCompletionsAreIgnored()
    {
        FakeHost host;
        host.addFile("/a.wav", tone(2, Chain::blockFrames * 10));
        host.addFile("/b.wav", tone(2, Chain::blockFrames * 10));
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.play(item("/a.wav"), 0);
        const qint64 generation = chain.generation();
        chain.play(item("/b.wav"), 0); // the first's blocks are dropped, their completions stale
        QCOMPARE(chain.generation(), generation + 1);
        QTest::qWait(30);
        QCOMPARE(chain.pending(), 4);
        QVERIFY(host.player()->finishNext());
        QTRY_COMPARE(host.player()->queued(), 4); // one done, one more scheduled
        QCOMPARE(chain.pending(), 4);

        chain.stop();
        chain.stop();
        QCOMPARE(chain.generation(), generation + 3);
        QTest::qWait(30);
        QCOMPARE(chain.pending(), 0);
    }

    void startsAtTheEndOrOfAnEmptyFile_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<double>("seconds");
        QTest::newRow("past the end") << qint64(48000) << 5.0;
        QTest::newRow("at the end") << qint64(48000) << 1.0;
        QTest::newRow("no frames") << qint64(0) << 0.0;
    }
    void startsAtTheEndOrOfAnEmptyFile()
    {
        QFETCH(qint64, frames);
        QFETCH(double, seconds);
        FakeHost host;
        host.addFile("/a.wav", tone(2, frames));
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.setLastError(QString());
        chain.play(item("/a.wav"), seconds);
        QVERIFY(!chain.playingID());
        QVERIFY(!host.player()->isPlaying());
        QVERIFY(!host.realtimeEngine()->isRunning());
        QCOMPARE(host.player()->queued(), 0);
        QVERIFY(chain.lastError().isEmpty());
    }

    void aShortFileStopsByItself()
    {
        FakeHost host;
        host.addFile("/short.wav", tone(2, 1000));
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.play(item("/short.wav"), 0);
        QCOMPARE(host.player()->queued(), 1);
        QCOMPARE(host.player()->queuedSamples(0)[0].size(), size_t(1000));
        QVERIFY(chain.playingID());
        host.player()->finishNext();
        QTRY_VERIFY(!chain.playingID());
    }

    void currentTimeFollowsThePlayer()
    {
        FakeHost host;
        host.addFile("/long.wav", tone(2, 48000 * 20));
        auto settings = freshSettings();
        Chain chain(host, *settings);
        QCOMPARE(chain.currentTime(), 0.0);
        chain.play(item("/long.wav"), 10);
        QCOMPARE(chain.currentTime(), 0.0); // no render time yet
        host.player()->setPlayerTime(24000);
        QCOMPARE(chain.currentTime(), 10.5);
    }

    void failuresOfThePreview()
    {
        FakeHost host;
        host.addFile("/a.wav", tone(2, 48000, 44100));
        host.addPlugin({.info = plugin("Only48", 1), .acceptedRates = {48000}});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.play(item("/missing.wav"), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("„missing.wav“ lässt sich nicht abspielen."));
        QVERIFY(!chain.playingID());

        QCoro::waitFor(chain.addPlugin(plugin("Only48", 1), std::nullopt, false, false));
        chain.play(item("/a.wav", 44100), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("Die Kette kann 44.1 kHz nicht abspielen."));
        QVERIFY(chain.playingID()); // and it plays regardless

        host.failEngineStart = true;
        chain.play(item("/a.wav", 44100), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("„a.wav“ lässt sich nicht abspielen."));
        QVERIFY(!chain.playingID());
    }

    void addingAPluginStopsThePreview()
    {
        FakeHost host;
        host.addFile("/a.wav", tone(2, 480000));
        host.addPlugin({.info = plugin("A", 1)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.play(item("/a.wav"), 0);
        QVERIFY(chain.playingID());
        QCoro::waitFor(chain.addPlugin(plugin("A", 1), std::nullopt, false, false));
        QVERIFY(!chain.playingID());
    }

    void editorsOpenOnceAndCloseWithTheirSlot()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        int opened = 0;
        int closes = 0;
        FakeWindow* window = nullptr;
        chain.setEditorOpener([&](Chain& c, Slot& slot) {
            ++opened;
            auto made = std::make_unique<FakeWindow>(c, slot.id(), closes);
            window = made.get();
            c.registerEditor(slot.id(), std::move(made));
        });
        QCoro::waitFor(chain.addPlugin(plugin("A", 1), std::nullopt, false, true));
        QCOMPARE(opened, 1);
        chain.openEditor(*chain.slots().first());
        QCOMPARE(opened, 1);
        QCOMPARE(window->raises, 1);
        settings->remove("chain");
        chain.editorClosed(chain.slots().first()->id()); // the user closed it
        QVERIFY(settings->contains("chain"));
        QVERIFY(!chain.hasEditor(chain.slots().first()->id()));
    }
};

QTEST_GUILESS_MAIN(TestChain)
#include "test_chain.moc"
