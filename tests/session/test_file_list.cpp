// The file list as a Qt model: what it announces when items come, go and
// change, checked by Qt's own model tester beside the expected signals; and
// the session's selection over it.
#include "session/FileList.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

using namespace tolvex;
using session::FileList;

namespace {

using Ranges = QList<QPair<int, int>>;

QList<model::AudioItem> items(int count, int from = 0)
{
    QList<model::AudioItem> made;
    for (int i = from; i < from + count; ++i)
        made.append(model::AudioItem::make(QUrl::fromLocalFile(QStringLiteral("/a/%1.wav").arg(i)),
                                           48000, 2, 48000));
    return made;
}

/// The file names' numbers, in row order.
QList<int> numbers(const FileList& list)
{
    QList<int> found;
    for (const model::AudioItem& item : list.items())
        found.append(item.url.fileName().chopped(4).toInt());
    return found;
}

/// The first and last row of each announcement `spy` (on rowsInserted or
/// rowsRemoved) recorded.
Ranges ranges(const QSignalSpy& spy)
{
    Ranges found;
    for (const QList<QVariant>& signal : spy)
        found.append({signal[1].toInt(), signal[2].toInt()});
    return found;
}

} // namespace

class TestFileList : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void appendedItemsAreInsertedRows()
    {
        FileList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&list, &FileList::rowsInserted);
        QSignalSpy counted(&list, &FileList::countChanged);
        list.append(items(3));
        list.append({});
        list.append(items(2, 3));
        QCOMPARE(ranges(inserted), (Ranges{{0, 2}, {3, 4}}));
        QCOMPARE(counted.size(), 2);
        QCOMPARE(list.count(), 5);
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(list.row(list.items()[row].id), row);
            QCOMPARE(list.data(list.index(row), Qt::DisplayRole).toString(),
                     QStringLiteral("%1.wav").arg(row));
            QCOMPARE(list.data(list.index(row), FileList::IdRole).toUuid(), list.items()[row].id);
        }
        QVERIFY(list.contains(QUrl::fromLocalFile("/a/4.wav")));
        QVERIFY(!list.contains(QUrl::fromLocalFile("/a/5.wav")));
    }

    void removedItemsAreRemovedRunsFromTheBack_data()
    {
        QTest::addColumn<QList<int>>("remove");
        QTest::addColumn<Ranges>("announced");
        QTest::newRow("none") << QList<int>{} << Ranges{};
        QTest::newRow("first") << QList<int>{0} << Ranges{{0, 0}};
        QTest::newRow("last") << QList<int>{7} << Ranges{{7, 7}};
        QTest::newRow("a run") << QList<int>{2, 3, 4} << Ranges{{2, 4}};
        QTest::newRow("scattered") << QList<int>{0, 2, 3, 6} << Ranges{{6, 6}, {2, 3}, {0, 0}};
        QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << Ranges{{0, 7}};
    }

    void removedItemsAreRemovedRunsFromTheBack()
    {
        QFETCH(QList<int>, remove);
        QFETCH(Ranges, announced);
        FileList list;
        list.append(items(8));
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removed(&list, &FileList::rowsRemoved);
        QSignalSpy counted(&list, &FileList::countChanged);
        list.removeIf([&](const model::AudioItem& item) {
            return remove.contains(item.url.fileName().chopped(4).toInt());
        });
        QCOMPARE(ranges(removed), announced);
        QCOMPARE(counted.size(), remove.isEmpty() ? 0 : 1);
        QList<int> left;
        for (int i = 0; i < 8; ++i)
            if (!remove.contains(i))
                left.append(i);
        QCOMPARE(numbers(list), left);
        for (int row = 0; row < list.count(); ++row)
            QCOMPARE(list.row(list.items()[row].id), row);
        for (const int gone : remove)
            QVERIFY(!list.contains(QUrl::fromLocalFile(QStringLiteral("/a/%1.wav").arg(gone))));
    }

    // Status changes are new at once and announced together: one range for
    // adjacent rows, one announcement per row otherwise.
    void statusChangesAreFolded()
    {
        FileList list;
        list.append(items(6));
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&list, &FileList::dataChanged);
        for (int step = 1; step <= 100; ++step) {
            list.setStatus(2, model::Status::running(step / 100.0));
            list.setStatus(3, model::Status::running(step / 200.0));
        }
        QCOMPARE(list.items()[2].status.progress(), 1.0); // new at once
        QCOMPARE(changed.size(), 0);
        list.flush();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 2);
        QCOMPARE(changed[0][1].toModelIndex().row(), 3);

        changed.clear();
        list.setStatus(0, model::Status::failed("kaputt"));
        list.setStatus(5, model::Status::waiting());
        list.setStatus(9, model::Status::waiting()); // no such row
        QTRY_COMPARE(changed.size(), 2);             // announced by the fold's timer
        QSet<int> rows;
        for (const QList<QVariant>& signal : changed)
            rows.insert(signal[0].toModelIndex().row());
        QCOMPARE(rows, (QSet<int>{0, 5}));
    }

    // A removal announces the status changes collected before it, with the
    // rows they had.
    void aRemovalAnnouncesPendingChangesFirst()
    {
        FileList list;
        list.append(items(4));
        QSignalSpy changed(&list, &FileList::dataChanged);
        QSignalSpy removed(&list, &FileList::rowsRemoved);
        list.setStatus(3, model::Status::done(QUrl::fromLocalFile("/b/3.wav")));
        list.removeIf([](const model::AudioItem& item) { return item.url.fileName() == "0.wav"; });
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 3);
        QCOMPARE(removed.size(), 1);
        QVERIFY(list.items()[2].status.isDone());
    }

    // The selection model over the list keeps the selected items selected as
    // rows before them go, and forgets the rows that go.
    void aSelectionFollowsItsItems()
    {
        FileList list;
        list.append(items(6));
        QItemSelectionModel selection(&list);
        selection.select(QItemSelection(list.index(1), list.index(1)), QItemSelectionModel::Select);
        selection.select(QItemSelection(list.index(4), list.index(5)), QItemSelectionModel::Select);
        list.removeIf([](const model::AudioItem& item) {
            const int number = item.url.fileName().chopped(4).toInt();
            return number == 0 || number == 5;
        });
        QList<int> selected;
        for (const QModelIndex& index : selection.selectedRows())
            selected.append(list.items()[index.row()].url.fileName().chopped(4).toInt());
        std::sort(selected.begin(), selected.end());
        QCOMPARE(selected, (QList<int>{1, 4}));
    }
};

QTEST_GUILESS_MAIN(TestFileList)
#include "test_file_list.moc"
