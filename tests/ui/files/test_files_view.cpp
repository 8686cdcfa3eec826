// The files panel, its rows and the preview bar against the fake host.
#include "chain/Chain.h"
#include "session/Session.h"
#include "tests/support/FakeHost.h"
#include "ui/files/DropArea.h"
#include "ui/files/FilesView.h"
#include "ui/files/PreviewBar.h"
#include "ui/files/RowMenu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

using namespace tolvex;
using namespace tolvex::testing;
using namespace tolvex::ui::files;

namespace {

const model::PluginInfo gain{model::effectType, 1, 2, "Gain", "Fake"};

/// The fake host, an empty chain, the session and the panel in a window,
/// with the file manager replaced by a list of what was revealed.
struct Rig {
    explicit Rig(const QString& settingsPath) : settings(settingsPath, QSettings::IniFormat)
    {
        view.setRevealFile([this](const QString& path) { revealed << path; });
        view.resize(600, 500);
        session.setToastDuration(3600 * 1000);
    }
    ~Rig() { *open = true; }

    /// Files /music/1.wav … n.wav of `seconds` at 1 kHz, added in one call.
    void addFiles(int count, double seconds = 2)
    {
        QList<QUrl> urls;
        for (int i = 1; i <= count; ++i) {
            const QString path = QStringLiteral("/music/%1.wav").arg(i);
            FakeAudioFile file{1000, {std::vector<float>(size_t(seconds * 1000), 0.1f)}};
            host.addFile(path, file);
            urls << QUrl::fromLocalFile(path);
        }
        session.add(urls);
    }
    const model::AudioItem& item(int row) const { return session.items()[row]; }
    void select(const QList<int>& rows)
    {
        QSet<QUuid> ids;
        for (int row : rows)
            ids.insert(item(row).id);
        session.setSelection(ids);
    }
    /// Starts an export of `row` through a gain that holds every block until
    /// `open` is set, at the latest when the rig ends.
    void exportHeld(int row, const QString& outputFolder)
    {
        host.addPlugin({.info = gain, .processor = [open = open] {
                            return [open](float* const*, int, qint64) {
                                while (!open->load())
                                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                            };
                        }});
        QCoro::waitFor(chain.addPlugin(gain, std::nullopt, false, false));
        session.setFolderPath(outputFolder);
        session.startExport(chain, QSet<QUuid>{item(row).id});
    }

    FakeHost host;
    QSettings settings;
    chain::Chain chain{host, settings};
    session::Session session{host, settings};
    FilesView view{session, chain};
    QStringList revealed;
    std::shared_ptr<std::atomic<bool>> open = std::make_shared<std::atomic<bool>>(false);
};

QStringList texts(const QMenu& menu)
{
    QStringList list;
    for (const QAction* action : menu.actions())
        list << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return list;
}

QAction* action(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

/// A point inside a part of a row: its play button or its status.
QPoint pointIn(const QListView& list, int row, bool status)
{
    const QRect rect = list.visualRect(list.model()->index(row, 0));
    return {status ? rect.right() - 24 : rect.left() + 16, rect.center().y()};
}

} // namespace

Q_DECLARE_METATYPE(tolvex::model::Status)

class TestFilesView : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_counter = 0;

    QString settingsPath() { return m_dir.filePath(QString::number(++m_counter) + ".ini"); }

private Q_SLOTS:
    void dropHandsEveryLocalLocationToOneAdd()
    {
        Rig rig(settingsPath());
        const QString folder = m_dir.filePath("dropped");
        QDir().mkpath(folder);
        for (const QString& path : {folder + "/x.wav", m_dir.filePath("a.wav")}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            rig.host.addFile(path, FakeAudioFile{48000, {std::vector<float>(480, 0.f)}});
        }
        QMimeData mime; // a remote file among them is left out
        mime.setUrls({QUrl::fromLocalFile(folder), QUrl("https://tolvex.org/b.wav"),
                      QUrl::fromLocalFile(m_dir.filePath("a.wav"))});
        DropArea& area = *rig.view.dropArea();
        QDragEnterEvent enter({20, 20}, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&area, &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(area.targeted());

        QSignalSpy adds(&rig.session.files(), &session::FileList::rowsInserted);
        QDropEvent drop({20, 20}, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&area, &drop);
        QCOMPARE(adds.size(), 1);
        QStringList names;
        for (const auto& item : rig.session.items())
            names << item.url.fileName();
        QCOMPARE(names, (QStringList{"x.wav", "a.wav"}));
        QVERIFY(rig.session.toast().isEmpty()); // the remote file never reached the list
        QVERIFY(!area.targeted());
        QCOMPARE(rig.view.list()->model()->rowCount(), 2);
    }

    void contextMenuActsOnTheSelectionOrTheRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<model::Status>("status");
        QTest::addColumn<QString>("exportText");
        QTest::addColumn<int>("left"); // rows left after "Aus der Liste entfernen"
        const auto waiting = model::Status::waiting();
        QTest::newRow("outside the selection") << 0 << waiting << "Nur diese exportieren" << 3;
        QTest::newRow("inside the selection") << 2 << waiting << "Nur diese 3 exportieren" << 1;
        QTest::newRow("failed") << 0 << model::Status::failed("kaputt") << "Nur diese exportieren"
                                << 3;
        QTest::newRow("done, with its result")
            << 0 << model::Status::done(QUrl::fromLocalFile("/out/1.wav"))
            << "Nur diese exportieren" << 3;
    }

    void contextMenuActsOnTheSelectionOrTheRow()
    {
        QFETCH(int, row);
        QFETCH(model::Status, status);
        QFETCH(QString, exportText);
        Rig rig(settingsPath());
        rig.addFiles(4);
        rig.select({1, 2, 3});
        rig.session.setStatus(rig.item(row).id, status);
        const auto menu = rig.view.contextMenu(row);
        QStringList expected{"Vorhören", exportText,
                             "-",        "Original im Dateimanager zeigen",
                             "-",        "Aus der Liste entfernen"};
        QStringList revealed{QStringLiteral("/music/%1.wav").arg(row + 1)};
        if (status.isDone()) {
            expected.insert(3, "Ergebnis im Dateimanager zeigen");
            revealed << "/out/1.wav";
        }
        QCOMPARE(texts(*menu), expected);
        QCOMPARE(rig.session.selection().size(), 3); // opening it changes nothing
        for (const char* reveal :
             {"Original im Dateimanager zeigen", "Ergebnis im Dateimanager zeigen"})
            if (QAction* entry = action(*menu, reveal))
                entry->trigger();
        QCOMPARE(rig.revealed, revealed);
        action(*menu, "Aus der Liste entfernen")->trigger();
        QTEST(int(rig.session.items().size()), "left");
    }

    void aRightClickLeavesTheSelection_data()
    {
        QTest::addColumn<int>("row"); // -1: below the rows
        QTest::newRow("outside the selection") << 0;
        QTest::newRow("inside the selection") << 2;
        QTest::newRow("below the rows") << -1;
    }

    void aRightClickLeavesTheSelection()
    {
        QFETCH(int, row);
        Rig rig(settingsPath());
        rig.addFiles(4);
        rig.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.view));
        rig.select({1, 2, 3});
        QListView& list = *rig.view.list();
        QCOMPARE(list.selectionModel(), &rig.session.selectionModel()); // one selection, shared
        const QPoint at =
            row >= 0 ? pointIn(list, row, true) : QPoint(40, list.viewport()->height() - 4);
        int menus = 0;
        QTimer closer; // the row's menu, opened by the click: closed again
        connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                ++menus;
                popup->close();
            }
        });
        closer.start(0);
        // The press and release, then the menu request the platform sends.
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &request);
        closer.stop();
        QCOMPARE(menus, row >= 0 ? 1 : 0);
        QCOMPARE(rig.session.selection().size(), 3);
        for (int selected : {1, 2, 3})
            QVERIFY(list.selectionModel()->isSelected(list.model()->index(selected, 0)));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, pointIn(list, 0, true));
        QCOMPARE(rig.session.selection(), QSet<QUuid>{rig.item(0).id}); // a left-click selects
    }

    void whileExporting()
    {
        Rig rig(settingsPath());
        rig.addFiles(3);
        rig.exportHeld(0, m_dir.path());
        QTRY_VERIFY(rig.item(0).status.isRunning());
        for (int row : {0, 2})
            QVERIFY(!action(*rig.view.contextMenu(row), "Nur diese exportieren")->isEnabled());

        rig.select({0, 1});
        rig.view.show();
        QApplication::setActiveWindow(&rig.view);
        QVERIFY(QTest::qWaitForWindowActive(&rig.view));
        rig.view.list()->setFocus();
        QTest::keyClick(rig.view.list(), Qt::Key_Delete);
        QCOMPARE(rig.session.items().size(), 2); // the running row stays
        QCOMPARE(rig.item(0).url.fileName(), QStringLiteral("1.wav"));
        QCOMPARE(rig.view.list()->model()->rowCount(), 2);
        *rig.open = true;
        QTRY_VERIFY_WITH_TIMEOUT(!rig.session.exporting(), 20000);
    }

    void previewTarget_data()
    {
        QTest::addColumn<int>("playing");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("target");
        QTest::newRow("nothing selected: the first") << -1 << QList<int>{} << 0;
        QTest::newRow("the topmost selected") << -1 << QList<int>{3, 1} << 1;
        QTest::newRow("the one playing") << 2 << QList<int>{1} << 2;
    }

    void previewTarget()
    {
        QFETCH(int, playing);
        QFETCH(QList<int>, selected);
        QFETCH(int, target);
        Rig rig(settingsPath());
        rig.addFiles(4);
        rig.select(selected);
        if (playing >= 0)
            rig.chain.play(rig.item(playing), 0);
        QCOMPARE(rig.view.previewBar()->previewTarget()->id, rig.item(target).id);
    }

    void spaceBar_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<bool>("inTextField");
        QTest::addColumn<bool>("plays");
        QTest::newRow("list with focus") << 2 << false << true;
        QTest::newRow("empty list") << 0 << false << false;
        QTest::newRow("text field with focus") << 2 << true << false;
    }

    void spaceBar()
    {
        QFETCH(int, files);
        QFETCH(bool, inTextField);
        QFETCH(bool, plays);
        Rig rig(settingsPath());
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* field = new QLineEdit(&window);
        layout->addWidget(field);
        layout->addWidget(&rig.view);
        const auto unparent = qScopeGuard([&] { rig.view.setParent(nullptr); });
        rig.addFiles(files);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QWidget* focus = inTextField ? static_cast<QWidget*>(field) : rig.view.list();
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Space);
        QCOMPARE(rig.chain.playingID().has_value(), plays);
        if (plays) {
            QCOMPARE(*rig.chain.playingID(), rig.item(0).id);
            QTest::keyClick(focus, Qt::Key_Space);
            QVERIFY(!rig.chain.playingID());
        }
    }

    void releasingTheSliderSeeks()
    {
        Rig rig(settingsPath());
        rig.addFiles(1, 60);
        auto* slider = rig.view.previewBar()->findChild<QSlider*>();
        QCOMPARE(slider->maximum(), 60000);
        slider->setSliderDown(true);
        slider->setSliderPosition(30000);
        QVERIFY(!rig.chain.playingID()); // nothing happens during the drag
        slider->setSliderDown(false);
        QVERIFY(rig.chain.isPlaying(rig.item(0).id));
        rig.host.output()->pump(100);
        QCOMPARE(rig.chain.currentTime(), 30.1);
    }

    void rowParts_data()
    {
        QTest::addColumn<model::Status>("status");
        QTest::addColumn<bool>("onStatus");
        QTest::addColumn<QString>("toolTip");
        const QString message = QStringLiteral("„1.wav“ lässt sich nicht schreiben: Kein Platz.");
        QTest::newRow("failed") << model::Status::failed(message) << true << message;
        QTest::newRow("done") << model::Status::done(QUrl::fromLocalFile("/out/1 – Tolvex.wav"))
                              << true << "Im Dateimanager zeigen: 1 – Tolvex.wav";
        const model::Loudness measured{-16.04, 4.25, -1.16, false};
        QTest::newRow("done, measured")
            << model::Status::done(QUrl::fromLocalFile("/out/1 – Tolvex.wav"), measured) << true
            << QStringLiteral("Im Dateimanager zeigen: 1 – Tolvex.wav\n"
                              "−16,0 LUFS · LRA 4,3 LU · −1,2 dBTP");
        const model::Loudness tooShort{std::nullopt, std::nullopt, -0.04, true};
        QTest::newRow("done, too short")
            << model::Status::done(QUrl::fromLocalFile("/out/1 – Tolvex.wav"), tooShort) << true
            << QStringLiteral("Im Dateimanager zeigen: 1 – Tolvex.wav\n"
                              "zu kurz für eine Lautheit · 0,0 dBTP");
        QTest::newRow("play") << model::Status::waiting() << false << "Durch die Kette vorhören";
    }

    void rowParts()
    {
        QFETCH(model::Status, status);
        QFETCH(bool, onStatus);
        QFETCH(QString, toolTip);
        Rig rig(settingsPath());
        rig.addFiles(2);
        rig.select({1});
        rig.session.setStatus(rig.item(0).id, status);
        rig.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.view));
        QListView& list = *rig.view.list();
        const QPoint point = pointIn(list, 0, onStatus);
        QHelpEvent help(QEvent::ToolTip, point, list.viewport()->mapToGlobal(point));
        QApplication::sendEvent(list.viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), toolTip);

        // A click on a button acts and leaves the selection alone; the
        // "Fehler" label is no button.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, point);
        QCOMPARE(rig.session.selection(), QSet<QUuid>{rig.item(status.isFailed() ? 0 : 1).id});
        if (status.isDone())
            QCOMPARE(rig.revealed, QStringList{status.file().toLocalFile()});
        QCOMPARE(rig.chain.isPlaying(rig.item(0).id), !onStatus);
    }
};

QTEST_MAIN(TestFilesView)
#include "test_files_view.moc"
