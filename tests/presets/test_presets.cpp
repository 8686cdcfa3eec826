// The preset store against the fake host.
#include "chain/Chain.h"
#include "model/ChainDocument.h"
#include "presets/Presets.h"
#include "tests/support/FakeHost.h"

#include <QCoroTask>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>

using namespace tolvex;
using namespace tolvex::presets;
using namespace tolvex::testing;

namespace {

struct ScriptedPrompt : NamePrompt {
    std::optional<QString> answer;
    int asked = 0;
    std::optional<QString> askName() override
    {
        ++asked;
        return answer;
    }
};

struct RecordingRevealer : FolderRevealer {
    QStringList revealed;
    void reveal(const QString& folder) override { revealed << folder; }
};

const model::PluginInfo gain{model::effectType, 1, 2, "Gain", "Fake"};
const model::PluginInfo delay{model::effectType, 3, 4, "Delay", "Fake"};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestPresets : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    QString freshFolder() { return m_dir.filePath(QStringLiteral("Ketten%1").arg(++m_counter)); }

private Q_SLOTS:
    void savingNamesAndListing()
    {
        FakeHost host;
        host.addPlugin({.info = gain});
        QSettings settings(m_dir.filePath("save.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        ScriptedPrompt prompt;
        const QString folder = freshFolder();
        Presets presets(&prompt, nullptr, folder);
        QVERIFY(!QDir(folder).exists()); // not created at start

        prompt.answer = QStringLiteral("  Sprache / Rauschen  ");
        presets.saveCurrentChain(chain);
        QCOMPARE(prompt.asked, 0); // an empty chain asks nothing

        QCoro::waitFor(chain.addPlugin(gain, std::nullopt, true, false));
        presets.saveCurrentChain(chain);
        presets.saveCurrentChain(chain); // the same name again: replaced
        QCOMPARE(presets.names(), QStringList{"Sprache - Rauschen"});
        QFile saved(folder + "/Sprache - Rauschen.json");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const auto states = model::decodeChain(saved.readAll());
        QVERIFY(states && states->size() == 1 && states->first().bypass);

        for (const char* blank : {"   ", "", "\t"}) {
            prompt.answer = QString::fromLatin1(blank);
            presets.saveCurrentChain(chain);
        }
        prompt.answer.reset(); // cancelled
        presets.saveCurrentChain(chain);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        QVERIFY(chain.lastError().isEmpty());

        for (const char* name : {"notes.txt", "Kette.JSON", "Kette.json", "Kette 10.json",
                                 "kette 2.json", "Zebra.json", "Äpfel.json"})
            writeFile(folder + '/' + QString::fromUtf8(name), "[]");
        presets.reload();
        QCOMPARE(presets.names(), (QStringList{QStringLiteral("Äpfel"), "Kette", "kette 2",
                                               "Kette 10", "Sprache - Rauschen", "Zebra"}));

        writeFile(m_dir.filePath("plain-file"), "x");
        Presets blocked(&prompt, nullptr, m_dir.filePath("plain-file/Ketten"));
        prompt.answer = QStringLiteral("Kette");
        blocked.saveCurrentChain(chain);
        QCOMPARE(chain.lastError(), QStringLiteral("Kette konnte nicht gespeichert werden."));
        QVERIFY(blocked.names().isEmpty());
    }

    void unreadablePresetsLeaveTheChain()
    {
        FakeHost host;
        host.addPlugin({.info = gain});
        host.addPlugin({.info = delay});
        QSettings settings(m_dir.filePath("load.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        const QString folder = freshFolder();
        QDir().mkpath(folder);
        Presets presets(nullptr, nullptr, folder);

        // The second entry lacks "bypass": nothing of the preset is loaded.
        writeFile(
            folder + "/Halb.json",
            R"([{"type":1635083896,"subtype":3,"manufacturer":4,"name":"Delay","vendor":"Fake","bypass":false},)"
            R"({"type":1635083896,"subtype":1,"manufacturer":2,"name":"Gain","vendor":"Fake"}])");
        for (const QString& name : {QStringLiteral("Gelöscht"), QStringLiteral("Halb")}) {
            presets.loadPreset(name, chain);
            QCOMPARE(chain.lastError(), "Kette „" + name + "“ lässt sich nicht lesen.");
        }
        QCOMPARE(chain.slots().size(), 1);
        QCOMPARE(chain.slots().first()->info().name, QStringLiteral("Gain"));

        writeFile(folder + "/Gut.json",
                  model::encodeChain({model::PluginState::from(delay, true),
                                      model::PluginState::from(gain, false)}));
        presets.loadPreset("Gut", chain);
        QTRY_COMPARE(chain.slots().size(), 2);
        QTRY_VERIFY(!chain.loading());
        QCOMPARE(chain.slots()[0]->info().name, QStringLiteral("Delay"));
        QVERIFY(chain.slots()[0]->bypass());
    }

    void revealCreatesTheFolder()
    {
        RecordingRevealer revealer;
        const QString folder = freshFolder();
        Presets presets(nullptr, &revealer, folder);
        presets.revealFolder();
        QVERIFY(QDir(folder).exists());
        QCOMPARE(revealer.revealed, QStringList{folder});
    }

    void aFailedWriteKeepsTheOldPreset()
    {
        FakeHost host;
        host.addPlugin(
            {.info = gain, .state = host::PropertyDictionary{{"blob", QByteArray(40000, 'x')}}});
        QSettings settings(m_dir.filePath("full.ini"), QSettings::IniFormat);
        chain::Chain chain(host, settings);
        const QString folder = freshFolder();
        QDir().mkpath(folder);
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a small file system needs root");
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH); });
        writeFile(folder + "/Kette.json", "[]");
        ScriptedPrompt prompt;
        prompt.answer = QStringLiteral("Kette");
        Presets presets(&prompt, nullptr, folder);
        for (int i = 0; i < 3; ++i) // three blobs of 40 kB do not fit in 64 kB
            QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        presets.saveCurrentChain(chain);
        QCOMPARE(chain.lastError(), QStringLiteral("Kette konnte nicht gespeichert werden."));
        QFile old(folder + "/Kette.json");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("[]"));
    }
};

QTEST_GUILESS_MAIN(TestPresets)
#include "test_presets.moc"
