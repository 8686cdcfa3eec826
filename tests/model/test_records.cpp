#include "model/AudioItem.h"
#include "model/DisplayText.h"
#include "model/ExportFormat.h"

#include <QTest>

#include <limits>

using namespace tolvex::model;

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void durationText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0.0 << "0:00";
        QTest::newRow("59.9") << 59.9 << "0:59";
        QTest::newRow("60") << 60.0 << "1:00";
        QTest::newRow("61") << 61.0 << "1:01";
        QTest::newRow("3599.99") << 3599.99 << "59:59";
        QTest::newRow("3600") << 3600.0 << "1:00:00";
        QTest::newRow("36000") << 36000.0 << "10:00:00";
        QTest::newRow("86399") << 86399.0 << "23:59:59";
        QTest::newRow("90061") << 90061.0 << "25:01:01";
        QTest::newRow("negative") << -5.5 << "0:00";
        QTest::newRow("tiny negative") << -0.1 << "0:00";
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
        QTest::newRow("8000") << 8000.0 << "8 kHz";
        QTest::newRow("11025") << 11025.0 << "11.0 kHz";
        QTest::newRow("22050") << 22050.0 << "22.1 kHz";
        QTest::newRow("44100") << 44100.0 << "44.1 kHz";
        QTest::newRow("48000") << 48000.0 << "48 kHz";
        QTest::newRow("88200") << 88200.0 << "88.2 kHz";
        QTest::newRow("96000") << 96000.0 << "96 kHz";
        QTest::newRow("192000") << 192000.0 << "192 kHz";
        QTest::newRow("0") << 0.0 << "0 kHz";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "nan kHz";
    }
    void sampleRateText()
    {
        QFETCH(double, hertz);
        QFETCH(QString, text);
        QCOMPARE(tolvex::model::sampleRateText(hertz), text);
    }

    void channelText_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "Mono";
        QTest::newRow("2") << 2 << "Stereo";
        QTest::newRow("6") << 6 << QStringLiteral("6 Kanäle");
        QTest::newRow("8") << 8 << QStringLiteral("8 Kanäle");
        QTest::newRow("0") << 0 << QStringLiteral("0 Kanäle");
    }
    void channelText()
    {
        QFETCH(int, channels);
        QFETCH(QString, text);
        QCOMPARE(tolvex::model::channelText(channels), text);
    }

    void exportFormatTexts_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("extension");
        QTest::newRow("wav24") << 0 << "wav24"
                               << "WAV 24 Bit"
                               << "wav";
        QTest::newRow("wav16") << 1 << "wav16"
                               << "WAV 16 Bit"
                               << "wav";
        QTest::newRow("wav32f") << 2 << "wav32f"
                                << "WAV 32 Bit Float"
                                << "wav";
        QTest::newRow("aiff24") << 3 << "aiff24"
                                << "AIFF 24 Bit"
                                << "aif";
        QTest::newRow("m4a") << 4 << "m4a"
                             << "M4A (AAC 256 kBit/s)"
                             << "m4a";
    }
    void exportFormatTexts()
    {
        QFETCH(int, index);
        QFETCH(QString, raw);
        QFETCH(QString, label);
        QFETCH(QString, extension);
        const ExportFormat format = allExportFormats[size_t(index)];
        QCOMPARE(rawValue(format), raw);
        QCOMPARE(exportFormatFromRawValue(raw), std::optional(format));
        QCOMPARE(tolvex::model::label(format), label);
        QCOMPARE(fileExtension(format), extension);
    }

    void unknownRawValuesGiveNoFormat_data()
    {
        QTest::addColumn<QString>("text");
        for (const char* text : {"WAV24", "aiff", "", "wav24 ", "M4A", "wav"})
            QTest::newRow(text) << QString::fromLatin1(text);
    }
    void unknownRawValuesGiveNoFormat()
    {
        QFETCH(QString, text);
        QVERIFY(!exportFormatFromRawValue(text));
    }

    void writerSettingsPerFormat_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<int>("channels");
        QTest::addColumn<WriterSettings>("expected");
        const auto pcm = [](int channels, int depth, bool isFloat, bool bigEndian) {
            return WriterSettings{44100, channels, linearPCMFormat, std::nullopt,
                                  depth, isFloat,  bigEndian,       false};
        };
        QTest::newRow("wav24") << ExportFormat::wav24 << 2 << pcm(2, 24, false, false);
        QTest::newRow("wav16") << ExportFormat::wav16 << 1 << pcm(1, 16, false, false);
        QTest::newRow("wav32f") << ExportFormat::wav32f << 6 << pcm(6, 32, true, false);
        QTest::newRow("aiff24") << ExportFormat::aiff24 << 2 << pcm(2, 24, false, true);
        QTest::newRow("m4a mono") << ExportFormat::m4a << 1
                                  << WriterSettings{44100, 1, aacFormat, 128000, {}, {}, {}, {}};
        QTest::newRow("m4a stereo") << ExportFormat::m4a << 2
                                    << WriterSettings{44100, 2, aacFormat, 256000, {}, {}, {}, {}};
    }
    void writerSettingsPerFormat()
    {
        QFETCH(ExportFormat, format);
        QFETCH(int, channels);
        QFETCH(WriterSettings, expected);
        QVERIFY(writerSettings(format, channels, 44100) == expected);
    }

    void formatCodes()
    {
        QCOMPARE(aacFormat, 0x61616320u);
        QCOMPARE(linearPCMFormat, 0x6C70636Du);
    }

    void statusEquality()
    {
        QVERIFY(Status() == Status::waiting());
        QVERIFY(Status::running(0.5) == Status::running(0.5));
        QVERIFY(Status::running(0.5) != Status::running(0.25));
        QVERIFY(Status::running(0) != Status::waiting());
        QVERIFY(Status::done(QUrl::fromLocalFile("/a.wav")) ==
                Status::done(QUrl::fromLocalFile("/a.wav")));
        QVERIFY(Status::done(QUrl::fromLocalFile("/a.wav")) !=
                Status::done(QUrl::fromLocalFile("/b.wav")));
        QVERIFY(Status::failed(QStringLiteral("x")) != Status::done(QUrl()));
        QVERIFY(Status::failed(QStringLiteral("x")) == Status::failed(QStringLiteral("x")));
        QVERIFY(Status::failed(QString()) != Status::waiting());
        QCOMPARE(Status::running(0.3).progress(), 0.3);
        QCOMPARE(Status::failed(QStringLiteral("kaputt")).message(), QStringLiteral("kaputt"));
        QVERIFY(Status::waiting().file().isEmpty());
    }

    void itemsOfTheSameFileDiffer()
    {
        const QUrl url = QUrl::fromLocalFile(QStringLiteral("/tmp/a.wav"));
        const AudioItem a = AudioItem::make(url, 48000, 2, 96000);
        const AudioItem b = AudioItem::make(url, 48000, 2, 96000);
        QVERIFY(a.id != b.id);
        QVERIFY(!a.id.isNull());
        QVERIFY(a != b);
        QVERIFY(a == AudioItem(a));
        QCOMPARE(a.duration, 2.0);
        QVERIFY(a.status.isWaiting());
        AudioItem changed = a;
        changed.status = Status::running(0.1);
        QVERIFY(changed != a);
    }

    void itemWithoutRateHasNoDuration()
    {
        const AudioItem item = AudioItem::make(QUrl::fromLocalFile("/x.wav"), 0, 1, 1000);
        QCOMPARE(item.duration, 0.0);
        QCOMPARE(AudioItem::make(QUrl(), -1, 1, 1000).duration, 0.0);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
