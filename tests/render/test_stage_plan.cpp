// How a chain is split into stages by what its plugins cost.
#include "render/StagePlan.h"

#include <QTest>

using namespace tolvex::render;

class TestStagePlan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theDearestStageIsAsCheapAsItCanBe_data()
    {
        QTest::addColumn<QList<double>>("costs");
        QTest::addColumn<int>("threads");
        QTest::addColumn<QList<int>>("stages");
        QTest::newRow("even") << QList<double>{1, 1, 1, 1} << 2 << QList<int>{2, 2};
        QTest::newRow("one dear plugin alone")
            << QList<double>{1, 1, 6, 1} << 2 << QList<int>{2, 2};
        QTest::newRow("uneven in three")
            << QList<double>{4, 1, 1, 2, 2} << 3 << QList<int>{1, 2, 2};
        QTest::newRow("a thread that would not help is left")
            << QList<double>{9, 1, 1} << 3 << QList<int>{1, 2};
        QTest::newRow("more threads than plugins") << QList<double>{1, 2} << 8 << QList<int>{1, 1};
        QTest::newRow("nothing measured counts alike")
            << QList<double>{0, 0, 0, 0} << 2 << QList<int>{2, 2};
        QTest::newRow("one thread") << QList<double>{1, 2, 3} << 1 << QList<int>{3};
        QTest::newRow("no plugins") << QList<double>{} << 2 << QList<int>{};
    }
    void theDearestStageIsAsCheapAsItCanBe()
    {
        QFETCH(QList<double>, costs);
        QFETCH(int, threads);
        QFETCH(QList<int>, stages);
        const std::vector<int> planned =
            stagesByCost(std::vector<double>(costs.begin(), costs.end()), threads);
        QCOMPARE(QList<int>(planned.begin(), planned.end()), stages);
    }
};

QTEST_GUILESS_MAIN(TestStagePlan)
#include "test_stage_plan.moc"
