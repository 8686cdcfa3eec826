// Editor panels against the fake host: one panel per slot, the size rule,
// what closing and removing do; and the sliders' scales.
#include "chain/Chain.h"
#include "tests/support/FakeHost.h"
#include "ui/editors/EditorOpener.h"
#include "ui/editors/EditorPanel.h"
#include "ui/editors/ParameterScale.h"

#include <QApplication>
#include <QCoroTask>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(tolvex::host::PluginParameter)

using namespace tolvex;
using namespace tolvex::ui::editors;

namespace {

QList<EditorPanel*> openPanels()
{
    QList<EditorPanel*> panels;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* panel = qobject_cast<EditorPanel*>(widget); panel && panel->isVisible())
            panels << panel;
    return panels;
}

} // namespace

class TestEditorPanel : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    testing::FakeHost m_host;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<chain::Chain> m_chain;

    chain::Slot& addSlot()
    {
        QCoro::waitFor(
            m_chain->addPlugin(m_chain->available().first(), std::nullopt, false, false));
        return *m_chain->slots().last();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_host.addPlugin({.info = {model::effectType, 7, 1, QStringLiteral("Hall"), "Fake"}});
    }
    void init()
    {
        m_settings =
            std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat);
        m_settings->clear(); // no chain restored from an earlier test
        m_chain = std::make_unique<chain::Chain>(m_host, *m_settings);
        installEditorOpener(*m_chain, nullptr);
    }
    void cleanup()
    {
        m_chain.reset();
        QTRY_VERIFY(openPanels().isEmpty());
    }

    void sizeRule_data()
    {
        QTest::addColumn<QSize>("preferred");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("size");
        QTest::newRow("preferred") << QSize(300, 200) << QSize(10, 10) << QSize(300, 200);
        QTest::newRow("flat preferred, frame") << QSize(300, 49) << QSize(90, 60) << QSize(90, 60);
        QTest::newRow("0 x 0") << QSize(0, 0) << QSize(0, 0) << QSize(480, 320);
        QTest::newRow("both too narrow") << QSize(49, 400) << QSize(400, 49) << QSize(480, 320);
    }
    void sizeRule()
    {
        QFETCH(QSize, preferred);
        QFETCH(QSize, frame);
        QTEST(EditorPanel::sizeFor(preferred, frame), "size");
    }

    void openingAgainRaisesTheOnePanel()
    {
        chain::Slot& slot = addSlot();
        m_chain->openEditor(slot);
        m_chain->openEditor(slot); // a second request before the first completes
        QTRY_VERIFY(m_chain->hasEditor(slot.id()));
        QTest::qWait(50); // the second completion arrives and finds the panel
        QCOMPARE(openPanels().size(), 1);
        EditorPanel* panel = openPanels().first();
        QCOMPARE(panel->windowTitle(), QStringLiteral("Hall"));
        QVERIFY(panel->windowFlags().testFlag(Qt::Tool));
        QVERIFY(panel->width() >= 50 && panel->height() >= 50);
        panel->hide();
        m_chain->openEditor(slot);
        QCOMPARE(openPanels(), QList<EditorPanel*>{panel});
    }

    void closingForgetsAndSaves()
    {
        chain::Slot& slot = addSlot();
        m_chain->openEditor(slot);
        QTRY_VERIFY(m_chain->hasEditor(slot.id()));
        m_settings->remove("chain");
        QPointer<EditorPanel> panel = openPanels().first();
        panel->close();
        QVERIFY(!m_chain->hasEditor(slot.id()));
        QVERIFY(m_settings->contains("chain"));
        QTRY_VERIFY(!panel); // let go once the close has returned
    }

    void removingTheSlotClosesThePanel()
    {
        chain::Slot& slot = addSlot();
        const QUuid id = slot.id();
        m_chain->openEditor(slot);
        m_chain->removeSlot(&slot);
        QTest::qWait(50); // the request completes for a slot that has gone: no panel
        QVERIFY(openPanels().isEmpty());

        chain::Slot& second = addSlot();
        const QUuid secondId = second.id();
        m_chain->openEditor(second);
        QTRY_VERIFY(m_chain->hasEditor(secondId));
        QPointer<EditorPanel> panel = openPanels().first();
        m_chain->removeSlot(&second);
        QVERIFY(!panel || !panel->isVisible());
        QVERIFY(!m_chain->hasEditor(id) && !m_chain->hasEditor(secondId));
        QTRY_VERIFY(!panel);
    }

    void scaleMapsPositions_data()
    {
        QTest::addColumn<host::PluginParameter>("parameter");
        QTest::addColumn<int>("position");
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        const auto make = [](float minimum, float maximum, QString unit = {}) {
            host::PluginParameter parameter;
            parameter.minimum = minimum;
            parameter.maximum = maximum;
            parameter.unit = unit;
            return parameter;
        };
        QTest::newRow("linear") << make(-10, 30, "dB") << 100 << -6.0f << "-6.0 dB";
        host::PluginParameter release = make(0.001f, 1);
        release.logarithmic = true;
        QTest::newRow("logarithmic") << release << 500 << 0.0316228f << "0.0316";
        host::PluginParameter frames = make(0, 7);
        frames.integer = true;
        QTest::newRow("integer") << frames << 3 << 3.0f << "3";
        frames.maximum = 48000; // too many steps for a slider: rounded
        QTest::newRow("many integers") << frames << 1 << 48.0f << "48";
    }
    void scaleMapsPositions()
    {
        QFETCH(host::PluginParameter, parameter);
        QFETCH(int, position);
        QFETCH(float, value);
        const ParameterScale scale(parameter);
        QVERIFY(qAbs(scale.value(position) - value) < 1e-5f);
        QCOMPARE(scale.position(value), position);
        QTEST(scale.text(value), "text");
    }
};

QTEST_MAIN(TestEditorPanel)
#include "test_editor_panel.moc"
