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

    // An album's passes: the scratch file and, in the second, the gain; the
    // first pass's blocks come back bit for bit.
    void albumPassesReadBackAsWritten()
    {
        render::RenderJob job{
            QUrl::fromLocalFile("/in/a.wav"), QUrl::fromLocalFile("/out/a.wav"), {}};
        job.loudnessTarget = model::LoudnessTarget{-16, -1, true};
        for (const auto& pass : {render::RenderJob::AlbumPass{"/out/.tolvex-h-1-00.part"},
                                 render::RenderJob::AlbumPass{"/out/.tolvex-h-1-00.part",
                                                              model::TargetGain{2.5, 1.25}, 2},
                                 render::RenderJob::AlbumPass{"/out/.tolvex-h-1-00.part",
                                                              model::TargetGain{-3, {}}, 1}}) {
            job.album = pass;
            const auto request = readRequest(writeRequest(job));
            QVERIFY(request);
            const auto* read = std::get_if<render::RenderJob>(&*request);
            QVERIFY(read);
            QCOMPARE(read->album, job.album);
            QCOMPARE(read->loudnessTarget, job.loudnessTarget);
        }
        const RenderOutcome outcome{
            model::Status::done(job.target),
            render::RenderResult::Kept{{{1e-3, 0.1 / 3, 2.5e-7}, -0.25}, 2}};
        const auto report = readReport(writeReport(EndedReport{outcome}));
        QVERIFY(report && std::holds_alternative<EndedReport>(*report));
        QCOMPARE(std::get<EndedReport>(*report).outcome.kept, outcome.kept);
    }
};

QTEST_GUILESS_MAIN(TestWorkerProtocol)
#include "test_worker_protocol.moc"
