// The generic parameter view of real plugins: the right control for each
// kind of port, and a control that changes the plugin, which the next
// export carries.
#include "chain/Chain.h"
#include "host/files/AudioFiles.h"
#include "model/ExportFormat.h"
#include "render/Renderer.h"
#include "tests/support/AudioTestFiles.h"
#include "tests/support/Lv2TestSupport.h"
#include "tests/ui/editors/RealChainRig.h"
#include "ui/editors/EditorOpener.h"
#include "ui/editors/EditorPanel.h"
#include "ui/editors/GenericEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoroTask>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace tolvex;
using namespace tolvex::testing;

namespace {
constexpr const char* dplUri = "http://gareus.org/oss/lv2/dpl#stereo";
constexpr const char* eqUri = "http://gareus.org/oss/lv2/fil4#stereo";
} // namespace

class TestGenericEditor : public QObject {
    Q_OBJECT

    std::unique_ptr<RealChainRig> m_rig;

    /// The generic view of the installed plugin's editor; null when none came.
    ui::editors::GenericEditor* open(const char* uri)
    {
        auto* panel = m_rig->open(uri);
        return panel ? panel->genericEditor() : nullptr;
    }

private Q_SLOTS:
    void init() { m_rig = std::make_unique<RealChainRig>(); }
    void cleanup()
    {
        m_rig.reset();
        QLocale::setDefault(QLocale::c());
    }

    void theRowsAlignAndEveryValueShowsWhole()
    {
        if (!m_rig->installed(eqUri))
            QSKIP("x42-eq not installed");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // as the window has it
        auto* editor = open(eqUri);
        QVERIFY(editor);
        editor->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor->window()));
        QCOMPARE(editor->findChild<QLabel*>("LPfreq-value")->text(), QStringLiteral("20.000 Hz"));
        QCOMPARE(editor->findChild<QLabel*>("HPQ-value")->text(), QStringLiteral("0,70"));

        const QList<QSlider*> sliders = editor->findChildren<QSlider*>();
        QVERIFY(sliders.size() > 10);
        QWidget* viewport = editor->viewport();
        for (QSlider* slider : sliders) { // one length, one column
            QCOMPARE(slider->width(), sliders.first()->width());
            QCOMPARE(slider->mapTo(viewport, QPoint()).x(),
                     sliders.first()->mapTo(viewport, QPoint()).x());
            auto* value = editor->findChild<QLabel*>(slider->objectName() + "-value");
            QVERIFY(value);
            for (int end : {slider->minimum(), slider->maximum()}) {
                slider->setValue(end);
                QVERIFY2(value->width() >= value->fontMetrics().horizontalAdvance(value->text()),
                         qPrintable(value->text()));
                QVERIFY2(value->mapTo(viewport, QPoint(value->width(), 0)).x() <= viewport->width(),
                         "beside the scroll bar, not under it");
            }
        }
    }

    void anEditorWindowStaysWithinTheScreen()
    {
        if (!m_rig->installed(eqUri))
            QSKIP("x42-eq not installed");
        auto* panel = m_rig->open(eqUri);
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        const QRect area = panel->screen()->availableGeometry();
        QVERIFY(area.contains(panel->frameGeometry()));
        panel->resizeOnScreen(area.size() * 2); // as a plugin asking for more could
        QVERIFY(area.contains(panel->frameGeometry()));
    }

    void eachPortGetsItsControl_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("control"); // "symbol class"
        QTest::newRow("range") << dplUri << "gain QSlider";
        QTest::newRow("logarithmic range") << dplUri << "release QSlider";
        QTest::newRow("toggle") << dplUri << "truepeak QCheckBox";
        QTest::newRow("latency, read only") << dplUri << "latency QLabel";
        QTest::newRow("enumeration") << "urn:tolvex:test:state"
                                     << "level QComboBox";
    }

    void eachPortGetsItsControl()
    {
        QFETCH(QString, uri);
        QFETCH(QString, control);
        if (!m_rig->installed(uri.toUtf8().constData()))
            QSKIP("plugin not installed");
        auto* editor = open(uri.toUtf8().constData());
        QVERIFY(editor);
        const QStringList parts = control.split(' ');
        QWidget* widget = editor->findChild<QWidget*>(parts[0]);
        QVERIFY(widget && widget->inherits(parts[1].toLatin1().constData()));
        QVERIFY(!editor->findChild<QWidget*>("enable")); // the host's bypass
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            QCOMPARE(combo->itemText(1), QStringLiteral("Voll"));
    }

    void aMovedSliderChangesThePluginAndTheExport()
    {
        if (!m_rig->installed(dplUri))
            QSKIP("x42-dpl not installed");
        auto* editor = open(dplUri);
        QVERIFY(editor);
        chain::Slot& slot = *m_rig->chain->slots().last();
        auto* gain = editor->findChild<QSlider*>("gain");
        gain->setValue(100); // -10…30 dB in a thousand steps
        QCOMPARE(slot.unit().value("gain"), -6.0f);
        QVERIFY(editor->findChild<QLabel*>("gain-value")->text().contains("-6.0 dB"));

        const QString source = m_rig->dir.filePath("sine.wav");
        writeSignal(*host::createAudioFile(
                        source, model::writerSettings(model::ExportFormat::wav32f, 2, 48000)),
                    sineSignal(48000, 2, 48000));
        const render::RenderJob job{QUrl::fromLocalFile(source),
                                    QUrl::fromLocalFile(m_rig->dir.filePath("out.wav")),
                                    {m_rig->chain->captureState(slot)},
                                    model::ExportFormat::wav32f};
        render::renderFile(*m_rig->host, job, [](double) {});
        const Signal out = readToEnd(*host::openAudioFile(job.target.toLocalFile()));
        float peak = 0; // past the plugin's latency and its gain's glide
        for (size_t i = out.channels[0].size() / 2; i < out.channels[0].size(); ++i)
            peak = std::max(peak, std::abs(out.channels[0][i]));
        QVERIFY2(std::abs(peak - 0.5f * std::pow(10.0f, -6.0f / 20)) < 0.01f,
                 qPrintable(QString::number(peak))); // a half-scale sine, 6 dB down
    }
};

QTEST_MAIN(TestGenericEditor)
#include "test_generic_editor.moc"
