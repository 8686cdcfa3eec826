// The export bar on a fake host: what it shows and what it writes.
#include "app/ContentView.h"
#include "app/ExportBar.h"
#include "tests/app/AppRig.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace tolvex;
using namespace tolvex::testing;

class TestExportBar : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }

    template <typename Widget>
    static Widget* part(AppRig& rig, const char* name)
    {
        return rig.app.content().exportBar().findChild<Widget*>(QLatin1String(name));
    }

private Q_SLOTS:
    void exportButtonFollowsTheList_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("title");
        QTest::newRow("none") << 0 << "Alle exportieren";
        QTest::newRow("one") << 1 << "Exportieren";
        QTest::newRow("two") << 2 << "Alle exportieren";
    }

    void exportButtonFollowsTheList()
    {
        QFETCH(int, count);
        QFETCH(QString, title);
        AppRig rig(folder());
        QList<QUrl> files;
        for (int i = 0; i < count; ++i)
            files << rig.addAudio(folder() + QStringLiteral("/%1.wav").arg(i), 20);
        rig.app.session().add(files);
        QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
        auto* button = part<QPushButton>(rig, "export");
        QCOMPARE(button->text(), title);
        QCOMPARE(button->isEnabled(), count > 0);
        if (count == 0)
            return;

        rig.app.window().show();
        auto* cancel = part<QPushButton>(rig, "cancel");
        QVERIFY(!cancel->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(rig.app.session().exporting());
        QVERIFY(cancel->isVisible() && !button->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.app.session().exporting(), 20000);
        QVERIFY(!cancel->isVisible() && button->isEnabled());
    }

    void destinationFollowsTheFolder()
    {
        AppRig rig(folder());
        auto* destination = part<QToolButton>(rig, "destination");
        QCOMPARE(destination->text(), QStringLiteral("Neben der Quelldatei"));
        QCOMPARE(destination->toolTip(),
                 QStringLiteral("Die bearbeitete Datei landet im selben Ordner wie das Original."));
        const QString chosen = folder() + "/Export";
        QDir().mkpath(chosen);
        rig.app.session().setFolderPath(chosen);
        QCOMPARE(destination->text(), QStringLiteral("Export"));
        QCOMPARE(destination->toolTip(), chosen);
        destination->menu()->actions().first()->trigger(); // "Neben der Quelldatei"
        QVERIFY(rig.app.session().folderPath().isEmpty());
        QCOMPARE(destination->text(), QStringLiteral("Neben der Quelldatei"));
    }

    void suffixIsWrittenAtEveryEdit()
    {
        AppRig rig(folder());
        auto* field = part<QLineEdit>(rig, "suffix");
        field->clear();
        QTest::keyClicks(field, " neu");
        QCOMPARE(rig.app.session().suffix(), QStringLiteral(" neu"));
        field->setCursorPosition(1);
        QTest::keyClick(field, Qt::Key_X);
        QCOMPARE(rig.app.session().suffix(), QStringLiteral(" xneu"));
        QCOMPARE(field->cursorPosition(), 2);   // the write-back left the cursor alone
        rig.app.session().setSuffix("-fertig"); // from elsewhere
        QCOMPARE(field->text(), QStringLiteral("-fertig"));
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QCOMPARE(rig.app.session().suffix(), QString()); // an empty suffix is stored
    }
};

QTEST_MAIN(TestExportBar)
#include "test_export_bar.moc"
