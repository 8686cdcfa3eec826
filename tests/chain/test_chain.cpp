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

model::PluginInfo plugin(quint32 subtype, const QString& vendor = "Fake")
{
    return {model::effectType, subtype, 1, QStringLiteral("P%1").arg(subtype), vendor};
}

model::AudioItem item(const QString& path, double rate = 48000)
{
    return model::AudioItem::make(QUrl::fromLocalFile(path), rate, 2, 0);
}

/// An editor panel that counts what is done to it and, when closed, tells
/// the chain as the window's close handler does.
struct FakeWindow : EditorWindow {
    FakeWindow(Chain& chain, QUuid id, int& raises, int& closes)
        : chain(chain), id(id), raises(raises), closes(closes)
    {}
    void raise() override { ++raises; }
    void close() override
    {
        ++closes;
        chain.editorClosed(id);
    }
    Chain& chain;
    QUuid id;
    int& raises;
    int& closes;
};

/// Plugins P1…P3 (gains of 2, 3 and 5) and constant files on a fake host, a
/// settings file of its own, and the chain, made when first asked for.
struct Rig {
    explicit Rig(const QString& settingsPath) : settings(settingsPath, QSettings::IniFormat)
    {
        for (quint32 i = 1; i <= 3; ++i)
            host.addPlugin({.info = plugin(i), .processor = gainProcessor(i == 3 ? 5 : i + 1)});
    }
    Chain& chain()
    {
        if (!made)
            made = std::make_unique<Chain>(host, settings);
        return *made;
    }
    void addFile(const QString& path, int channels, qint64 frames, double rate = 48000)
    {
        FakeAudioFile file{rate, {}};
        for (int c = 0; c < channels; ++c)
            file.channels.emplace_back(size_t(frames), 0.25f * float(c + 1));
        host.addFile(path, file);
    }
    void add(quint32 subtype, bool bypass = false)
    {
        QCoro::waitFor(chain().addPlugin(plugin(subtype), std::nullopt, bypass, false));
    }
    QStringList names()
    {
        QStringList list;
        for (const Slot* slot : chain().slots())
            list << slot->info().name;
        return list;
    }
    /// Pumps the preview to its end; the samples of the left channel that
    /// sounded (the right one must sound the same).
    std::vector<float> playToEnd()
    {
        ManualOutput& out = *host.output();
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT((out.pump(Chain::blockFrames), !chain().playingID()), 30000);
        }();
        std::vector<float> sounded;
        if (out.captured.empty())
            return sounded; // never opened: nothing to play
        for (size_t i = 0; i < out.captured[0].size(); ++i) {
            if (out.captured[0][i] != 0.0f)
                sounded.push_back(out.captured[0][i]);
            if (out.captured[1][i] != out.captured[0][i])
                return {};
        }
        return sounded;
    }
    QList<model::PluginState> saved()
    {
        return model::decodeChain(settings.value("chain").toByteArray())
            .value_or(QList<model::PluginState>{});
    }

    FakeHost host;
    QSettings settings;
    std::unique_ptr<Chain> made;
};

} // namespace

class TestChain : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    QString settingsPath() { return m_dir.filePath(QString::number(++m_counter) + ".ini"); }

private Q_SLOTS:
    void catalogueOrder()
    {
        Rig rig(settingsPath());
        rig.host.addPlugin({.info = {model::effectType, 4, 1, "Zeta", "beta Audio"}});
        rig.host.addPlugin({.info = {model::effectType, 5, 1, "Echo", "Apple"}});
        rig.host.addPlugin({.info = {model::effectType, 6, 1, "delay", "Alpha"}});
        rig.host.addPlugin({.info = {model::musicEffectType, 7, 1, "Delay", "Alpha"}});
        rig.host.addPlugin({.info = {model::effectType, 8, 1, "Delay", "Alpha"}});
        QStringList order;
        for (const auto& info : rig.chain().available())
            order << info.name +
                         (info.vendor == u"Fake" ? QString() : QString::number(info.codes.subtype));
        // Equal keys keep the registry's order, plain effects before music effects.
        QCOMPARE(order,
                 (QStringList{"delay6", "Delay8", "Delay7", "Echo5", "Zeta4", "P1", "P2", "P3"}));
        QStringList groups;
        for (const auto& group : rig.chain().vendorGroups())
            groups << group.vendor;
        QCOMPARE(groups, (QStringList{"Alpha", "beta Audio", "Fake", "Apple"}));
    }

    void overlappingAddsShareTheLoadingFlag()
    {
        Rig rig(settingsPath());
        Chain& chain = rig.chain();
        QList<qsizetype> slotsWhenCleared;
        int starts = 0;
        connect(&chain, &Chain::loadingChanged, this, [&](bool loading) {
            if (loading)
                ++starts;
            else
                slotsWhenCleared.append(chain.slots().size());
        });
        auto first = chain.addPlugin(plugin(1), std::nullopt, false, false);
        auto second = chain.addPlugin(plugin(2), std::nullopt, false, false);
        QVERIFY(chain.loading());
        QCoro::waitFor(first);
        QCoro::waitFor(second);
        // One flag: the second start found it set, and the first to finish
        // cleared it while the other was still outstanding.
        QCOMPARE(starts, 1);
        QCOMPARE(slotsWhenCleared, QList<qsizetype>{1});
        QCOMPARE(rig.saved().size(), 2);
    }

    void compareModeAndBypass()
    {
        Rig rig(settingsPath());
        Chain& chain = rig.chain();
        chain.setCompareOriginal(true);
        rig.add(1);
        rig.add(2, true);
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
        QCOMPARE(states[0].name, QStringLiteral("P1"));
    }

    void slotsChangeWithThePreviewStopped()
    {
        Rig rig(settingsPath());
        rig.addFile("/a.wav", 2, 100000);
        Chain& chain = rig.chain();
        int opened = 0;
        int raises = 0;
        int closes = 0;
        chain.setEditorOpener([&](Chain& c, Slot& slot) {
            ++opened;
            c.registerEditor(slot.id(), std::make_unique<FakeWindow>(c, slot.id(), raises, closes));
        });
        rig.add(1);
        QCoro::waitFor(chain.addPlugin(plugin(2), std::nullopt, false, true));
        rig.add(3);
        const QUuid middle = chain.slots()[1]->id();
        chain.openEditor(*chain.slots()[1]); // raised, not opened again
        QCOMPARE(raises, 1);
        QCOMPARE(opened, 1);

        chain.play(item("/a.wav"), 0);
        chain.removeSlot(chain.slots()[1]);
        QVERIFY(!chain.playingID());
        QCOMPARE(closes, 1);
        QVERIFY(!chain.hasEditor(middle));
        QCOMPARE(rig.saved().size(), 2);
        chain.play(item("/a.wav"), 0);
        rig.host.output()->pump(256);
        QCOMPARE(rig.host.output()->captured[0].back(), 0.25f * 2 * 5); // through P1 and P3

        chain.moveSlots({1}, 0);
        QCOMPARE(rig.names(), (QStringList{"P3", "P1"}));
        QVERIFY(!chain.playingID());
        QCOMPARE(rig.saved().first().name, QStringLiteral("P3"));

        chain.play(item("/a.wav"), 0);
        rig.add(2);
        QVERIFY(!chain.playingID());
        rig.settings.remove("chain");
        const QUuid first = chain.slots()[0]->id();
        chain.registerEditor(first, std::make_unique<FakeWindow>(chain, first, raises, closes));
        chain.editorClosed(first); // the user closed it: saved
        QCOMPARE(rig.saved().size(), 3);
    }

    // Neither an unreadable autosave nor clearing an empty chain writes the
    // setting; the stored bytes stay until a real change replaces them.
    void nothingToSaveLeavesTheSettingAlone()
    {
        Rig rig(settingsPath());
        const QByteArray unreadable("[{\"type\":1}]");
        rig.settings.setValue("chain", unreadable);
        QVERIFY(rig.chain().slots().isEmpty());
        rig.chain().clear();
        QCoro::waitFor(rig.chain().load({}));
        QCOMPARE(rig.settings.value("chain").toByteArray(), unreadable);
        QCOMPARE(rig.chain().generation(), 0); // nothing was stopped either
    }

    void restoreAtStartKeepsTheStoredChainUntilItEnds_data()
    {
        QTest::addColumn<QList<quint32>>("stored"); // P9 is not installed
        QTest::addColumn<QString>("error");
        const QString missing = QStringLiteral("„P9“ lässt sich nicht laden.");
        QTest::newRow("one missing") << QList<quint32>{1, 9, 3} << missing;
        QTest::newRow("all there") << QList<quint32>{1, 3} << QString();
        QTest::newRow("none loads") << QList<quint32>{9} << missing;
    }
    void restoreAtStartKeepsTheStoredChainUntilItEnds()
    {
        QFETCH(QList<quint32>, stored);
        QFETCH(QString, error);
        Rig rig(settingsPath());
        QList<model::PluginState> records;
        QStringList names;
        for (quint32 subtype : stored) {
            records << model::PluginState::from(plugin(subtype), subtype == 1,
                                                host::writeBinaryPropertyList({{"gain", 5}}));
            names << plugin(subtype).name;
        }
        const QByteArray document = model::encodeChain(records);
        rig.settings.setValue("chain", document);
        Chain& chain = rig.chain();
        // Quitting halfway saves the chain; the stored one must stay whole.
        QList<qsizetype> storedWhileRestoring;
        connect(&chain, &Chain::slotsChanged, this, [&] {
            chain.save();
            storedWhileRestoring << rig.saved().size();
        });
        QTRY_VERIFY(!chain.loading());
        QCOMPARE(chain.lastError(), error);
        QCOMPARE(storedWhileRestoring, QList<qsizetype>(stored.size(), stored.size()));
        // Every entry keeps its place; one whose plugin is missing is an
        // unavailable slot, and the chain saved at the end holds it as it
        // was stored, byte for byte.
        QCOMPARE(rig.names(), names);
        for (qsizetype i = 0; i < stored.size(); ++i)
            QCOMPARE(chain.slots()[i]->isUnavailable(), stored[i] == 9);
        const QByteArray saved = rig.settings.value("chain").toByteArray();
        for (const model::PluginState& record : records) {
            const QByteArray entry = model::encodeChain({record}).chopped(1).mid(1);
            if (record.codes.subtype == 9)
                QVERIFY2(saved.contains(entry), saved.constData());
        }
        if (stored == QList<quint32>{9})
            QCOMPARE(saved, document);
        if (stored.first() == 1) {
            QVERIFY(rig.saved()[0].bypass && chain.slots()[0]->bypass());
            QCOMPARE(chain.slots()[0]->unit().fullState()->value("gain").toInt(), 5);
        }
    }

    // An unavailable slot stays out of the sound, is named once as a preview
    // or an export starts, and comes back with its state after a rescan that
    // finds its plugin.
    void anUnavailableSlotIsSkippedUntilARescanFindsIt()
    {
        Rig rig(settingsPath());
        rig.addFile("/a.wav", 2, 100000);
        const model::PluginInfo late = plugin(7);
        rig.settings.setValue(
            "chain",
            model::encodeChain(
                {model::PluginState::from(plugin(1), false),
                 model::PluginState::from(late, false, host::writeBinaryPropertyList({{"k", 7}})),
                 model::PluginState::from(plugin(9), true),
                 model::PluginState::from(plugin(3), false)}));
        Chain& chain = rig.chain();
        QTRY_VERIFY(!chain.loading());
        QCOMPARE(rig.names(), (QStringList{"P1", "P7", "P9", "P3"}));
        const QUuid lateId = chain.slots()[1]->id();
        QVERIFY(chain.slots()[1]->isUnavailable());
        QCOMPARE(chain.slots()[1]->problem(), QStringLiteral("„P7“ lässt sich nicht laden."));
        // A preset saved now holds the entry as it was stored.
        QCOMPARE(model::encodeChain({chain.captureState(*chain.slots()[1])}),
                 model::encodeChain({rig.saved()[1]}));
        QCOMPARE(chain.captureState(*chain.slots()[1]).state,
                 host::writeBinaryPropertyList({{"k", 7}}));
        chain.openEditor(*chain.slots()[1]); // nothing to open
        chain.slots()[1]->setBypass(true);   // nothing to switch
        QVERIFY(!chain.slots()[1]->bypass());

        // P9 is bypassed: skipped anyway, not named.
        const QString notice = QStringLiteral("„P7“ fehlt und wird übersprungen.");
        chain.setLastError(QString());
        const model::AudioItem file = item("/a.wav");
        chain.play(file, 0);
        QCOMPARE(chain.lastError(), notice);
        rig.host.output()->pump(256);
        QCOMPARE(rig.host.output()->captured[0].back(), 0.25f * 2 * 5); // through P1 and P3
        chain.setLastError(QString());
        chain.play(file, 1); // a seek: said once
        QVERIFY(chain.lastError().isEmpty());
        chain.stop();

        const auto states = chain.renderStates();
        QCOMPARE(states.size(), 2);
        QCOMPARE(states[0].name + states[1].name, QStringLiteral("P1P3"));
        QCOMPARE(chain.lastError(), notice);

        chain.rescan(); // still missing
        QTRY_VERIFY(!chain.loading());
        QVERIFY(chain.slots()[1]->isUnavailable());
        rig.host.addPlugin({.info = late, .processor = gainProcessor(7)});
        chain.rescan();
        QTRY_VERIFY(!chain.slots()[1]->isUnavailable());
        QCOMPARE(chain.slots()[1]->id(), lateId);
        QCOMPARE(chain.slots()[1]->unit().fullState()->value("k").toInt(), 7);
        QCOMPARE(rig.names(), (QStringList{"P1", "P7", "P9", "P3"}));
        QCOMPARE(chain.renderStates().size(), 3);
        QCOMPARE(rig.saved().size(), 4);
        chain.play(file, 0);
        rig.host.output()->pump(256);
        QCOMPARE(rig.host.output()->captured[0].back(), 0.25f * 2 * 7 * 5);
    }

    void removingAnUnavailableSlotRemovesItsEntry()
    {
        Rig rig(settingsPath());
        rig.settings.setValue("chain",
                              model::encodeChain({model::PluginState::from(plugin(9), false),
                                                  model::PluginState::from(plugin(1), false)}));
        Chain& chain = rig.chain();
        QTRY_VERIFY(!chain.loading());
        chain.removeSlot(chain.slots()[0]);
        QCOMPARE(rig.names(), QStringList{"P1"});
        QCOMPARE(rig.saved().size(), 1);
        QCOMPARE(rig.saved()[0].name, QStringLiteral("P1"));
    }

    void previewPlaysToItsEnd_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("blocks");   // scheduled in all
        QTest::addColumn<bool>("restart"); // played twice: the first's blocks complete stale
        const qint64 block = Chain::blockFrames;
        QTest::newRow("several blocks") << block * 5 + 10 << 0.0 << 6 << false;
        QTest::newRow("shorter than a block") << qint64(1000) << 0.0 << 1 << false;
        QTest::newRow("from the middle")
            << block * 5 + 10 << double(block * 3) / 48000 << 3 << false;
        QTest::newRow("past the end") << qint64(48000) << 5.0 << 0 << false;
        QTest::newRow("at the end") << qint64(48000) << 1.0 << 0 << false;
        QTest::newRow("no frames") << qint64(0) << 0.0 << 0 << false;
        QTest::newRow("restarted") << block * 10 << 0.0 << 10 << true;
    }
    void previewPlaysToItsEnd()
    {
        QFETCH(qint64, frames);
        QFETCH(double, seconds);
        QFETCH(int, blocks);
        QFETCH(bool, restart);
        Rig rig(settingsPath());
        rig.addFile("/mono.wav", 1, frames);
        Chain& chain = rig.chain();
        const model::AudioItem mono = item("/mono.wav");
        chain.play(mono, seconds);
        if (restart)
            chain.play(mono, seconds);
        QCOMPARE(chain.isPlaying(mono.id), blocks > 0);
        QCOMPARE(chain.pending(), std::min(blocks, Chain::prerollBlocks));
        // Every frame from the start on sounds once, on both channels.
        const qint64 start = std::min(frames, qint64(seconds * 48000));
        QCOMPARE(rig.playToEnd(), std::vector<float>(size_t(frames - start), 0.25f));
        QVERIFY(!rig.host.output()->started);
        QCOMPARE(chain.pending(), 0);
        QVERIFY(chain.lastError().isNull());
    }

    void currentTimeFollowsThePlayer()
    {
        Rig rig(settingsPath());
        rig.addFile("/long.wav", 2, 48000 * 20);
        QCOMPARE(rig.chain().currentTime(), 0.0);
        rig.chain().play(item("/long.wav"), 10);
        QCOMPARE(rig.chain().currentTime(), 0.0); // no render time yet
        rig.host.output()->pump(24000);
        QCOMPARE(rig.chain().currentTime(), 10.5);
        rig.chain().play(item("/long.wav"), 10); // the player's time starts again
        rig.host.output()->pump(4800);
        QCOMPARE(rig.chain().currentTime(), 10.1);
        rig.chain().stop();
        QCOMPARE(rig.chain().currentTime(), 0.0);
    }

    // A chain that refuses the file's format is tested on the real host.
    void failuresOfThePreview()
    {
        Rig rig(settingsPath());
        rig.addFile("/a.wav", 2, 48000);
        Chain& chain = rig.chain();
        chain.play(item("/missing.wav"), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("„missing.wav“ lässt sich nicht abspielen."));
        QVERIFY(!chain.playingID());
        rig.host.output()->refuseStart = true;
        chain.play(item("/a.wav"), 0);
        QCOMPARE(chain.lastError(), QStringLiteral("„a.wav“ lässt sich nicht abspielen."));
        QVERIFY(!chain.playingID());
    }
};

QTEST_GUILESS_MAIN(TestChain)
#include "test_chain.moc"
