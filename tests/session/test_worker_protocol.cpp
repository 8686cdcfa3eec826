// What the render worker and its parent say to each other, read back as written.
#include "session/WorkerProtocol.h"

#include <QTest>

using namespace tolvex;
using namespace tolvex::session;

Q_DECLARE_METATYPE(tolvex::model::Status)

class TestWorkerProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endedReportsReadBackAsWritten_data()
    {
        QTest::addColumn<model::Status>("status");
        const QUrl file = QUrl::fromLocalFile("/out/a – Tolvex.wav");
        QTest::newRow("done, measured")
            << model::Status::done(file, model::Loudness{-16.04, 4.2, -1.25, false});
        QTest::newRow("done, too short")
            << model::Status::done(file, model::Loudness{std::nullopt, std::nullopt, -3.5, true});
        QTest::newRow("done, silent") << model::Status::done(file, model::Loudness{});
        QTest::newRow("done, not measured") << model::Status::done(file);
        QTest::newRow("failed") << model::Status::failed(QStringLiteral("„a.wav“ fehlt."));
        QTest::newRow("cancelled") << model::Status::waiting();
    }
    void endedReportsReadBackAsWritten()
    {
        QFETCH(model::Status, status);
        const QByteArray line = writeReport(EndedReport{RenderOutcome{status}});
        const auto report = readReport(line);
        QVERIFY(report);
        const auto* ended = std::get_if<EndedReport>(&*report);
        QVERIFY(ended);
        QCOMPARE(ended->outcome.status, status);
    }
};

QTEST_GUILESS_MAIN(TestWorkerProtocol)
#include "test_worker_protocol.moc"
