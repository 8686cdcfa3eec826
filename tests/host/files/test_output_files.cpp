// How the writers' files come to stand under their names: whole or not at
// all, never over anything, and never where nobody will find them.
#include "host/HostError.h"
#include "host/files/AudioFiles.h"
#include "model/ExportFormat.h"
#include "tests/support/AudioTestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace tolvex;
using namespace tolvex::host;
using namespace tolvex::testing;
using model::ExportFormat;

namespace {

constexpr double rate = 48000;

} // namespace

class TestOutputFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_folders = 0;

    QString newFolder()
    {
        const QString folder = m_dir.filePath(QString::number(++m_folders));
        QDir().mkpath(folder);
        return folder;
    }

    static QString name(ExportFormat format) { return "x." + model::fileExtension(format); }

private Q_SLOTS:
    // Not-a-number and infinite samples are written as silence by every
    // writer; the AAC encoder refuses them.
    void nonFiniteSamplesBecomeSilence_data()
    {
        QTest::addColumn<ExportFormat>("format");
        for (ExportFormat format : model::allExportFormats)
            QTest::addRow("%s", qPrintable(model::rawValue(format))) << format;
    }
    void nonFiniteSamplesBecomeSilence()
    {
        QFETCH(ExportFormat, format);
        Signal signal;
        signal.sampleRate = rate;
        signal.channels.assign(2, std::vector<float>(20000, 0.0f));
        const float odd[] = {std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
        for (int i = 0; i < 3; ++i)
            std::fill_n(signal.channels[size_t(i % 2)].begin() + 5000 * (i + 1), 64, odd[i]);
        const QString path = newFolder() + '/' + name(format);
        writeSignal(*createAudioFile(path, model::writerSettings(format, 2, rate)), signal);
        const Signal back = readToEnd(*openAudioFile(path));
        QCOMPARE(back.frames(), signal.frames());
        for (const auto& channel : back.channels)
            QCOMPARE(maxDifference(channel, std::vector<float>(channel.size(), 0.0f)), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestOutputFiles)
#include "test_output_files.moc"
