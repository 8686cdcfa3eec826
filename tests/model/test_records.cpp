#include "model/DisplayText.h"
#include "model/ExportFormat.h"
#include "model/LoudnessTarget.h"
#include "model/NaturalOrder.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace tolvex::model;

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void durationText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("fraction truncated") << 59.9 << "0:59";
        QTest::newRow("just below an hour") << 3599.99 << "59:59";
        QTest::newRow("hour") << 3600.0 << "1:00:00";
        QTest::newRow("over a day") << 90061.0 << "25:01:01";
        QTest::newRow("negative") << -0.1 << "0:00";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0:00";
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << "0:00";
    }
    void durationText()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(tolvex::model::durationText(seconds), text);
    }

    void sampleRateText_data()
    {
        QTest::addColumn<double>("hertz");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole kHz") << 48000.0 << "48 kHz";
        QTest::newRow("fraction") << 44100.0 << "44.1 kHz";
        QTest::newRow("rounded") << 22050.0 << "22.1 kHz";
        QTest::newRow("fraction rounding to .0") << 11025.0 << "11.0 kHz";
        QTest::newRow("zero") << 0.0 << "0 kHz";
    }
    void sampleRateText()
    {
        QFETCH(double, hertz);
        QFETCH(QString, text);
        QCOMPARE(tolvex::model::sampleRateText(hertz), text);
    }

    void storedFormatNamesReadBack()
    {
        for (ExportFormat format : allExportFormats)
            QCOMPARE(exportFormatFromRawValue(rawValue(format)), std::optional(format));
    }

    void naturalOrder_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("numbers by value, any case") << "kette 2"
                                                    << "Kette 10";
        QTest::newRow("numbers beyond 64 bits") << "n100"
                                                << "n99999999999999999999";
        QTest::newRow("prefix first") << "abc"
                                      << "abcd";
        QTest::newRow("umlaut with its letter") << QStringLiteral("Äpfel") << "Zebra";
        QTest::newRow("capital umlaut") << QStringLiteral("Übersteuerung") << "Zebra";
        QTest::newRow("umlaut before later letter") << QStringLiteral("Ökonomie") << "Oper";
        QTest::newRow("decomposed umlaut") << "Anton" << QStringLiteral("A\u0308pfel");
        QTest::newRow("umlaut between its neighbours") << QStringLiteral("Äpfel") << "Apfelmus";
        QTest::newRow("sharp s as ss") << QStringLiteral("Straße 2") << "Strasse 10";
        QTest::newRow("accents") << QStringLiteral("Café") << "Cafeteria";
        QTest::newRow("tie: plain letter first") << "Apfel" << QStringLiteral("Äpfel");
        QTest::newRow("tie: case") << "Kette"
                                   << "kette";
        QTest::newRow("tie: leading zeros") << "b002"
                                            << "b2";
    }
    void naturalOrder()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QVERIFY(naturalLess(before, after));
        QVERIFY(!naturalLess(after, before));
        QVERIFY(!naturalLess(before, before));
    }

    // One gain to the target, lowered where the true peak would pass the ceiling.
    void targetGain_data()
    {
        QTest::addColumn<double>("integrated"); // NaN: none
        QTest::addColumn<double>("truePeak");
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("shortfall"); // 0: target met
        const double none = std::nan("");
        QTest::newRow("up to the target") << -20.0 << -8.0 << 4.0 << 0.0;
        QTest::newRow("down to the target") << -10.0 << 0.5 << -6.0 << 0.0;
        QTest::newRow("ceiling reached exactly") << -20.0 << -5.0 << 4.0 << 0.0;
        QTest::newRow("held by the ceiling") << -30.0 << -3.0 << 2.0 << 12.0;
        QTest::newRow("no integrated loudness") << none << -3.0 << 0.0 << 0.0;
    }
    void targetGain()
    {
        QFETCH(double, integrated);
        QFETCH(double, truePeak);
        QFETCH(double, gain);
        QFETCH(double, shortfall);
        tolvex::model::Loudness measured;
        if (!std::isnan(integrated))
            measured.integrated = integrated;
        measured.truePeak = truePeak;
        const tolvex::model::TargetGain result = tolvex::model::targetGain(measured, {-16, -1});
        QCOMPARE(result.gain, gain);
        QCOMPARE(result.shortfall.value_or(0), shortfall);
    }

    // An album's one gain: the files' blocks gated together (a quiet file's
    // blocks fall under the relative gate of the loud ones), the loudest
    // true peak against the ceiling.
    void albumGain_data()
    {
        QTest::addColumn<QList<double>>("first"); // block loudness, LUFS
        QTest::addColumn<QList<double>>("second");
        QTest::addColumn<double>("peak"); // the louder file's; the other's is −30
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("shortfall");
        QTest::newRow("equal halves")
            << QList<double>{-20, -20} << QList<double>{-20, -20} << -10.0 << 4.0 << 0.0;
        QTest::newRow("quiet file gated away")
            << QList<double>{-20, -20} << QList<double>{-40, -40} << -10.0 << 4.0 << 0.0;
        QTest::newRow("held by the loudest peak")
            << QList<double>{-20, -20} << QList<double>{-20, -20} << -3.0 << 2.0 << 2.0;
        QTest::newRow("silence") << QList<double>{} << QList<double>{} << -10.0 << 0.0 << 0.0;
    }
    void albumGain()
    {
        QFETCH(QList<double>, first);
        QFETCH(QList<double>, second);
        QFETCH(double, peak);
        QFETCH(double, gain);
        QFETCH(double, shortfall);
        std::vector<tolvex::model::AlbumShare> files(2);
        for (double lufs : first)
            files[0].blocks.push_back(tolvex::model::blockEnergy(lufs));
        for (double lufs : second)
            files[1].blocks.push_back(tolvex::model::blockEnergy(lufs));
        files[0].truePeak = peak;
        files[1].truePeak = -30;
        const tolvex::model::TargetGain result = tolvex::model::albumGain(files, {-16, -1, true});
        QVERIFY2(std::abs(result.gain - gain) < 1e-9, qPrintable(QString::number(result.gain)));
        QVERIFY(std::abs(result.shortfall.value_or(0) - shortfall) < 1e-9);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
