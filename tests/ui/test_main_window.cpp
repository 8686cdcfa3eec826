#include "ui/MainWindow.h"

#include <QApplication>
#include <QTest>

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensTitledTolvex()
    {
        tolvex::ui::MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Tolvex"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
