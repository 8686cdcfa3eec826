// The notice line over the window's content, with short durations.
#include "app/ContentView.h"
#include "app/NoticeLine.h"
#include "tests/app/AppRig.h"

#include <QElapsedTimer>
#include <QTest>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

constexpr int anHour = 3600 * 1000;

} // namespace

class TestNoticeLine : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }

private Q_SLOTS:
    void toastBeforeChainMessageAndAClickClearsBoth()
    {
        AppRig rig(folder());
        auto& notice = rig.app.content().notice();
        notice.setDurations(anHour, 0);
        rig.app.session().setToastDuration(anHour);
        rig.app.window().show();
        auto& content = rig.app.content();
        const QPoint spot(content.width() / 2, content.height() - app::NoticeLine::lift - 10);
        QVERIFY(notice.isHidden());
        QVERIFY(content.childAt(spot) != &notice); // clicks reach the panels

        rig.app.chain().setLastError("Kettenfehler");
        QCOMPARE(notice.text(), QStringLiteral("Kettenfehler"));
        rig.app.session().showToast("Hinweis");
        QCOMPARE(notice.text(), QStringLiteral("Hinweis"));
        QVERIFY(notice.isVisible());
        QCOMPARE(content.childAt(spot), &notice);
        QCOMPARE(notice.geometry().bottom() + 1, content.height() - app::NoticeLine::lift);

        QTest::mouseClick(&notice, Qt::LeftButton);
        QVERIFY(rig.app.session().toast().isEmpty());
        QVERIFY(rig.app.chain().lastError().isEmpty());
        QVERIFY(notice.isHidden());
    }

    void chainMessageOutlivesTheToast()
    {
        AppRig rig(folder());
        auto& notice = rig.app.content().notice();
        notice.setDurations(anHour, 20);
        rig.app.session().setToastDuration(50);
        rig.app.chain().setLastError("Kettenfehler");
        rig.app.session().showToast("Hinweis");
        QCOMPARE(notice.text(), QStringLiteral("Hinweis"));
        QTRY_COMPARE(notice.text(), QStringLiteral("Kettenfehler"));
        QVERIFY(!notice.isHidden());
    }

    void aMessageIsClearedOnlyByItsOwnTimer()
    {
        AppRig rig(folder());
        auto& notice = rig.app.content().notice();
        auto& chain = rig.app.chain();
        constexpr int stay = 400;
        notice.setDurations(stay, 20);
        chain.setLastError("Erster");
        QTest::qWait(stay / 2);
        chain.setLastError("Zweiter");
        chain.setLastError("Erster"); // the same text again: its first timer must not count
        QElapsedTimer since;
        since.start();
        QTRY_VERIFY_WITH_TIMEOUT(chain.lastError().isEmpty(), 20000);
        QVERIFY(since.elapsed() >= stay);
        QTRY_VERIFY(notice.isHidden()); // after its fade
    }
};

QTEST_MAIN(TestNoticeLine)
#include "test_notice_line.moc"
