// The window's finish on a fake host: the secondary colours and dividers in
// light and dark, the destination's name shown whole where it fits, the
// compare switch that cannot be mistaken.
#include "app/ContentView.h"
#include "app/DestinationButton.h"
#include "app/ExportBar.h"
#include "app/MainWindow.h"
#include "app/Translations.h"
#include "tests/app/AppRig.h"
#include "ui/Palette.h"

#include <QApplication>
#include <QCoroTask>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace tolvex;
using namespace tolvex::testing;
using tolvex::ui::Palette;

namespace {

QPalette darkPalette()
{
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x2A, 0x2A, 0x2A));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    return dark;
}

/// How many of the widget's pixels are within a small distance of `colour`.
int pixelsNear(QWidget& widget, const QColor& colour)
{
    const QImage image = widget.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                    std::abs(pixel.blue() - colour.blue()) <
                24)
                ++count;
        }
    return count;
}

} // namespace

class TestWindowDetails : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_count = 0;
    QString folder() { return m_dir.filePath(QString::number(++m_count)); }
    QPalette m_light;

private Q_SLOTS:
    void initTestCase() { m_light = QApplication::palette(); }
    void cleanup() { QApplication::setPalette(m_light); }

    void secondaryTextsAndDividers_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void secondaryTextsAndDividers()
    {
        QFETCH(bool, dark);
        AppRig rig(folder());
        rig.app.session().add({rig.addAudio(folder() + "/a.wav")});
        rig.app.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.app.window()));
        if (dark)
            QApplication::setPalette(darkPalette());
        QCoreApplication::processEvents();

        app::ContentView& content = rig.app.content();
        const QPalette& palette = content.palette();
        QCOMPARE(Palette::isDark(palette), dark);
        for (const char* name : {"count", "hint", "idle", "elapsed", "total"}) {
            auto* label = content.findChild<QLabel*>(QLatin1String(name));
            QVERIFY2(label, name);
            QCOMPARE(label->palette().color(label->foregroundRole()), // what it draws with
                     Palette::colour(Palette::Colour::muted, palette));
        }
        for (auto* button : content.findChildren<QToolButton*>()) // the header's symbols
            if (button->toolTip().startsWith(u"Dateien hinzufügen"))
                QCOMPARE(pixelsNear(*button, dark ? QColor(Qt::black) : QColor(Qt::white)), 0);
        const QList<QWidget*> dividers = content.findChildren<QWidget*>(QStringLiteral("divider"));
        QCOMPARE(dividers.size(), 4); // files and preview, the panels, the export bar, the chain
        for (QWidget* line : dividers)
            QCOMPARE(pixelsNear(*line, Palette::colour(Palette::Colour::faint, palette)),
                     line->width() * line->height());
    }

    void theCompareSwitchIsTintedWhenOn_data() { secondaryTextsAndDividers_data(); }

    void theCompareSwitchIsTintedWhenOn()
    {
        QFETCH(bool, dark);
        AppRig rig(folder());
        rig.app.session().add({rig.addAudio(folder() + "/a.wav")});
        QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
        rig.app.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.app.window()));
        if (dark)
            QApplication::setPalette(darkPalette());
        QCoreApplication::processEvents();
        auto* original = rig.app.content().findChild<QPushButton*>(QStringLiteral("original"));
        const QColor tint = Palette::colour(Palette::Colour::tint, original->palette());
        const int area = original->width() * original->height();
        QVERIFY(!original->isChecked());
        QVERIFY(pixelsNear(*original, tint) < area / 10);
        rig.app.chain().setCompareOriginal(true);
        QVERIFY(original->isChecked());
        QVERIFY2(pixelsNear(*original, tint) > area / 2, "the switch is on: it says so");
    }

    void theDestinationIsNamedWholeWhereItFits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("atStart"); // chosen in the last run, or now
        QTest::newRow("chosen now") << "Export" << false;
        QTest::newRow("from the last run") << "Ziel" << true;
        QTest::newRow("long, chosen now") << QString(60, u'x') << false;
    }

    void theDestinationIsNamedWholeWhereItFits()
    {
        QFETCH(QString, name);
        QFETCH(bool, atStart);
        const QString settings = folder();
        const QString chosen = settings + "/" + name;
        QDir().mkpath(chosen);
        std::optional<AppRig> rig;
        if (atStart)
            AppRig(settings).app.session().setFolderPath(chosen);
        rig.emplace(settings);
        rig->app.showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&rig->app.window()));
        if (!atStart)
            rig->app.session().setFolderPath(chosen);
        auto* button = rig->app.content().exportBar().findChild<app::DestinationButton*>(
            QStringLiteral("destination"));
        QCOMPARE(button->text(), name);
        if (name.size() < 10) {
            QTRY_COMPARE(button->shownText(), name);
        } else {
            QVERIFY(button->shownText().contains(u'…'));
            QVERIFY(button->width() <= app::DestinationButton::widest);
        }
    }

    // Last: from here on, Qt speaks German in this process.
    void qtsOwnTextsAreGerman()
    {
        QVERIFY2(app::installGermanTranslations(*qApp), "Qt's translations are installed");
        QCOMPARE(QKeySequence(Qt::CTRL | Qt::Key_O).toString(QKeySequence::NativeText),
                 QStringLiteral("Strg+O"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
                 QStringLiteral("Suchen in:"));
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("&Rückgängig"));
        QCOMPARE(QLocale().toString(20000.0, 'f', 1), QStringLiteral("20.000,0"));

        AppRig rig(folder()); // the menu and the panel's button name the same keys
        QAction* addFiles = nullptr;
        for (QAction* entry : rig.app.window().menuBar()->actions())
            for (QAction* action : entry->menu()->actions())
                if (action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_O))
                    addFiles = action;
        QVERIFY(addFiles);
        bool named = false;
        for (auto* button : rig.app.content().findChildren<QToolButton*>())
            named = named || button->toolTip() == u"Dateien hinzufügen (Strg+O)";
        QVERIFY(named);
    }
};

QTEST_MAIN(TestWindowDetails)
#include "test_window_details.moc"
