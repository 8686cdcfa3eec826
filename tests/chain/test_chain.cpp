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

void add(Chain& chain, const model::PluginInfo& info, bool bypass = false)
{
    QCoro::waitFor(chain.addPlugin(info, std::nullopt, bypass, false));
}

QStringList names(const Chain& chain)
{
    QStringList list;
    for (const Slot* slot : chain.slots())
        list << slot->info().name;
    return list;
}

QList<model::PluginState> saved(QSettings& settings)
{
    return model::decodeChain(settings.value("chain").toByteArray())
        .value_or(QList<model::PluginState>{});
}

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
        auto settings = freshSettings();
        Chain chain(host, *settings);
        QStringList order;
        for (const auto& info : chain.available())
            order << info.vendor + '/' + info.name + '/' + QString::number(info.codes.subtype);
        // Equal keys keep the registry's order, plain effects before music effects.
        QCOMPARE(order, (QStringList{"Alpha/delay/3", "Alpha/Delay/4", "Alpha/Delay/6",
                                     "apple/Chorus/5", "Apple/Echo/2", "beta Audio/Zeta/1"}));
        QStringList groups;
        for (const auto& group : chain.vendorGroups())
            groups << group.vendor + ':' + QString::number(group.plugins.size());
        QCOMPARE(groups, (QStringList{"Alpha:3", "apple:1", "beta Audio:1", "Apple:1"}));
    }

    void overlappingAddsShareTheLoadingFlag()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1)});
        host.addPlugin({.info = plugin("B", 2)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        QList<qsizetype> slotsWhenCleared;
        int starts = 0;
        connect(&chain, &Chain::loadingChanged, this, [&](bool loading) {
            if (loading)
                ++starts;
            else
                slotsWhenCleared.append(chain.slots().size());
        });
        auto first = chain.addPlugin(plugin("A", 1), std::nullopt, false, false);
        auto second = chain.addPlugin(plugin("B", 2), std::nullopt, false, false);
        QVERIFY(chain.loading());
        QCoro::waitFor(first);
        QCoro::waitFor(second);
        QCOMPARE(chain.slots().size(), 2);
        // One flag: the second start found it set, and the first to finish
        // cleared it while the other was still outstanding.
        QCOMPARE(starts, 1);
        QCOMPARE(slotsWhenCleared, QList<qsizetype>{1});
        QCOMPARE(saved(*settings).size(), 2);
    }

    void compareModeAndBypass()
    {
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1)});
        host.addPlugin({.info = plugin("B", 2)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.setCompareOriginal(true);
        add(chain, plugin("A", 1));
        add(chain, plugin("B", 2), true);
        Slot* slot = chain.slots().first();
        QVERIFY(slot->unit().bypass()); // bypassed at the plugin while comparing
        chain.setCompareOriginal(false);
        QVERIFY(!slot->unit().bypass());
        QVERIFY(chain.slots()[1]->unit().bypass());

        chain.setCompareOriginal(true);
        slot->setBypass(true);
        slot->setBypass(false); // the slot path sets the plugin to the slot's flag alone
        QVERIFY(!slot->unit().bypass());
        chain.setCompareOriginal(true); // the next change applies the combined rule again
        QVERIFY(slot->unit().bypass());

        // Export takes the slots not bypassed, whatever compare mode says.
        const auto states = chain.renderStates();
        QCOMPARE(states.size(), 1);
        QCOMPARE(states[0].name, QStringLiteral("A"));
        QCOMPARE(saved(*settings).size(), 2);
    }

    void slotsChangeWithThePreviewStopped()
    {
        FakeHost host;
        host.addFile("/a.wav", tone(2, 100000));
        for (quint32 i = 1; i <= 4; ++i)
            host.addPlugin({.info = plugin(qPrintable(QStringLiteral("P%1").arg(i)), i)});
        auto settings = freshSettings();
        Chain chain(host, *settings);
        for (quint32 i = 1; i <= 3; ++i)
            add(chain, plugin(qPrintable(QStringLiteral("P%1").arg(i)), i));
        int closes = 0;
        const QUuid middle = chain.slots()[1]->id();
        chain.registerEditor(middle, std::make_unique<FakeWindow>(chain, middle, closes));
        chain.play(item("/a.wav"), 0);
        chain.removeSlot(chain.slots()[1]);
        QVERIFY(!chain.playingID());
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

        chain.play(item("/a.wav"), 0);
        add(chain, plugin("P4", 4));
        QVERIFY(!chain.playingID());
    }

    void clearingAnEmptyChainSavesNothing()
    {
        FakeHost host;
        auto settings = freshSettings();
        Chain chain(host, *settings);
        chain.clear();
        QCoro::waitFor(chain.load({}));
        QVERIFY(!settings->contains("chain"));
        QCOMPARE(chain.generation(), 0); // nothing was stopped either
    }

    void restoreAtStartKeepsTheStoredChainUntilItEnds_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("restored");
        QTest::addColumn<QString>("error");
        QTest::newRow("one missing") << QStringList{"A", "Missing", "C"} << QStringList{"A", "C"}
                                     << QStringLiteral("„Missing“ lässt sich nicht laden.");
        QTest::newRow("all there") << QStringList{"A", "C"} << QStringList{"A", "C"} << QString();
        QTest::newRow("none loads") << QStringList{"Missing"} << QStringList{}
                                    << QStringLiteral("„Missing“ lässt sich nicht laden.");
    }
    void restoreAtStartKeepsTheStoredChainUntilItEnds()
    {
        QFETCH(QStringList, stored);
        QFETCH(QStringList, restored);
        QFETCH(QString, error);
        FakeHost host;
        host.addPlugin({.info = plugin("A", 1), .state = host::PropertyDictionary{{"gain", 2}}});
        host.addPlugin({.info = plugin("C", 3)});
        QList<model::PluginState> records;
        for (const QString& name : stored) {
            const quint32 subtype = name == u"A" ? 1 : name == u"C" ? 3 : 2;
            records << model::PluginState::from(plugin(qPrintable(name), subtype), name == u"A",
                                                host::writeBinaryPropertyList({{"gain", 5}}));
        }
        auto settings = freshSettings();
        settings->setValue("chain", model::encodeChain(records));
        Chain chain(host, *settings);
        // Quitting halfway saves the chain; the stored one must stay whole.
        QList<qsizetype> storedWhileRestoring;
        connect(&chain, &Chain::slotsChanged, this, [&] {
            chain.save();
            storedWhileRestoring << saved(*settings).size();
        });
        QTRY_VERIFY(!chain.loading());
        QCOMPARE(names(chain), restored);
        QCOMPARE(chain.lastError(), error);
        QCOMPARE(storedWhileRestoring, QList<qsizetype>(restored.size(), stored.size()));
        // At the end the chain is saved once, without what failed to load;
        // when nothing loaded, the stored chain stays as it was.
        const auto record = saved(*settings);
        QCOMPARE(record.size(), restored.isEmpty() ? stored.size() : restored.size());
        if (restored.isEmpty())
            return;
        QVERIFY(record[0].bypass && chain.slots()[0]->bypass());
        QCOMPARE(chain.slots()[0]->unit().fullState()->value("gain").toInt(), 5);
    }

    void anUnreadableAutosaveIsLeftAlone()
    {
        FakeHost host;
        auto settings = freshSettings();
        settings->setValue("chain", QByteArray("[{\"type\":1}]"));
        Chain chain(host, *settings);
        QVERIFY(chain.slots().isEmpty());
        QCOMPARE(settings->value("chain").toByteArray(), QByteArray("[{\"type\":1}]"));
    }

    void previewPlaysToItsEnd_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("blocks"); // scheduled in all
        const qint64 block = Chain::blockFrames;
        QTest::newRow("several blocks") << block * 5 + 10 << 0.0 << 6;
        QTest::newRow("shorter than a block") << qint64(1000) << 0.0 << 1;
        QTest::newRow("from the middle") << block * 5 + 10 << double(block * 3) / 48000 << 3;
        QTest::newRow("past the end") << qint64(48000) << 5.0 << 0;
        QTest::newRow("at the end") << qint64(48000) << 1.0 << 0;
        QTest::newRow("no frames") << qint64(0) << 0.0 << 0;
    }
    void previewPlaysToItsEnd()
    {
        QFETCH(qint64, frames);
        QFETCH(double, seconds);
        QFETCH(int, blocks);
        FakeHost host;
        host.addFile("/mono.wav", tone(1, frames));
        auto settings = freshSettings();
        Chain chain(host, *settings);
        const model::AudioItem mono = item("/mono.wav");
        chain.play(mono, seconds);
        QCOMPARE(chain.isPlaying(mono.id), blocks > 0);
        QCOMPARE(host.player()->isPlaying(), blocks > 0);
        QCOMPARE(chain.pending(), std::min(blocks, Chain::prerollBlocks));
        if (blocks > 0) {
            const auto first = host.player()->queuedSamples(0);
            QCOMPARE(first.size(), size_t(2));
            QCOMPARE(first[1], first[0]); // mono on both channels
        }
        int finished = 0;
        QTRY_VERIFY((finished += host.player()->finishNext(), !chain.playingID()));
        QCOMPARE(finished, blocks);
        QVERIFY(!host.realtimeEngine()->isRunning());
        QVERIFY(!host.player()->isPlaying());
        QCOMPARE(chain.pending(), 0);
        QVERIFY(chain.lastError().isNull());
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

        add(chain, plugin("Only48", 1));
        chain.play(item("/a.wav", 44100), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("Die Kette kann 44.1 kHz nicht abspielen."));
        QVERIFY(chain.playingID()); // and it plays regardless

        host.failEngineStart = true;
        chain.play(item("/a.wav", 44100), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("„a.wav“ lässt sich nicht abspielen."));
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
