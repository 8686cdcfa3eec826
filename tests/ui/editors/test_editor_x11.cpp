// A plugin's own X11 interface in its editor panel, on a real X server
// (run under xvfb-run): it opens embedded, what it writes reaches the
// plugin, and the panel switches to the generic view and back.
#include "chain/Chain.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2EditorView.h"
#include "host/lv2/Lv2Instance.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"
#include "tests/ui/editors/RealChainRig.h"
#include "ui/editors/EditorOpener.h"
#include "ui/editors/EditorPanel.h"
#include "ui/editors/GenericEditor.h"
#include "ui/editors/PluginUiHost.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

using namespace tolvex;
using namespace tolvex::testing;

class TestEditorX11 : public QObject {
    Q_OBJECT

    std::unique_ptr<RealChainRig> m_rig;

    ui::editors::EditorPanel* open(const char* uri) { return m_rig->open(uri); }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X11 display");
        m_rig = std::make_unique<RealChainRig>();
    }
    void cleanupTestCase() { m_rig.reset(); }

    void embeddedInterfaceWritesToThePlugin()
    {
        if (!m_rig->installed("http://gareus.org/oss/lv2/dpl#stereo"))
            QSKIP("x42-dpl not installed");
        auto* panel = open("http://gareus.org/oss/lv2/dpl#stereo");
        QVERIFY(panel);
        QVERIFY(panel->showsPluginInterface());
        QVERIFY(panel->pluginInterface()->view().embedded());
        QVERIFY(panel->width() >= 50 && panel->height() >= 50);

        auto& instance = dynamic_cast<host::Lv2Instance&>(m_rig->chain->slots().last()->unit());
        if (!QStandardPaths::findExecutable("xdotool").isEmpty()) {
            // The wheel turned down over the threshold knob a notch at a time: a
            // notch sent before the interface is up to take it is lost, and sent again.
            const QPoint knob = panel->pluginInterface()->mapToGlobal(QPoint(109, 31));
            for (int notch = 0; notch < 20 && instance.value("threshold") >= -1.0f; ++notch) {
                const float before = instance.value("threshold");
                runTool("xdotool", {"mousemove", QString::number(knob.x()),
                                    QString::number(knob.y()), "click", "5"});
                (void)QTest::qWaitFor([&] { return instance.value("threshold") < before; }, 3000);
            }
            QVERIFY(instance.value("threshold") < -1.0f);
        }

        // The interface's write function, called as the interface calls it.
        auto& view = dynamic_cast<host::Lv2EditorView&>(panel->pluginInterface()->view());
        const float threshold = -4.5f;
        view.write(uint32_t(instance.ports().indexOf("threshold")), sizeof(float), 0, &threshold);
        QCOMPARE(instance.value("threshold"), threshold);

        // Playing through it, the plugin's meter reaches the interface.
        const QString sine = m_rig->dir.filePath("sine.wav");
        writeSignal(*host::createAudioFile(
                        sine, model::writerSettings(model::ExportFormat::wav32f, 2, 48000)),
                    sineSignal(48000, 2, 48000 * 2));
        m_rig->chain->play(model::AudioItem::make(QUrl::fromLocalFile(sine), 48000, 2, 96000), 0);
        QTRY_VERIFY_WITH_TIMEOUT(instance.value("level") < -1, 20000); // 0.5 reads -6 dB
        m_rig->chain->stop();

        auto* toGeneric = panel->findChild<QToolButton*>();
        toGeneric->click();
        QVERIFY(!panel->showsPluginInterface());
        QTRY_VERIFY(panel->genericEditor()->isVisible());
        toGeneric->click();
        QVERIFY(panel->showsPluginInterface());
        panel->close();
        QVERIFY(m_rig->chain->slots().last()->unit().value("threshold") == threshold);
    }

    void interfaceWithItsOwnWindowIsShown()
    {
        if (!m_rig->installed("http://gareus.org/oss/lv2/meters#dBTPstereo"))
            QSKIP("x42-meters not installed");
        auto* panel = open("http://gareus.org/oss/lv2/meters#dBTPstereo");
        QVERIFY(panel);
        QVERIFY(panel->pluginInterface());
        QVERIFY(!panel->pluginInterface()->view().embedded());
        QTRY_VERIFY_WITH_TIMEOUT(panel->showsPluginInterface(), 20000);
        panel->close(); // hides and lets go of the plugin's window
    }
};

QTEST_MAIN(TestEditorX11)
#include "test_editor_x11.moc"
