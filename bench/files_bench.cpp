// The files panel with 10,000 files: adding and showing them, scrolling
// through the list, selecting all, and repainting while 10,000 status
// updates arrive. Beside each figure the same work on a QListWidget with a
// row widget per file, as a panel without model/view would be built.
#include "chain/Chain.h"
#include "host/files/AudioFiles.h"
#include "host/lv2/Lv2AudioHost.h"
#include "model/DisplayText.h"
#include "model/ExportFormat.h"
#include "session/Session.h"
#include "ui/files/FilesView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <functional>

using namespace tolvex;

namespace {

constexpr int files = 10000;

double seconds(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

/// Counts the paint events of a widget and its children.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& root) : m_root(root) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && widget &&
            (widget == &m_root || m_root.isAncestorOf(widget)))
            ++paints;
        return false;
    }

private:
    QWidget& m_root;
};

QString makeFiles(const QString& folder)
{
    QDir().mkpath(folder);
    auto buffer = *host::AudioBuffer::make(*host::AudioFormat::standard(44100, 1), 441);
    buffer.setFrameLength(441);
    for (int i = 0; i < files; ++i) {
        auto writer =
            host::createAudioFile(folder + QStringLiteral("/take %1.wav").arg(i),
                                  model::writerSettings(model::ExportFormat::wav16, 1, 44100));
        writer->write(buffer);
        writer->finish();
    }
    return folder;
}

/// The naive panel's row: a widget per file.
struct NaiveRow {
    QWidget* widget;
    QProgressBar* bar;
    QLabel* status;
};

NaiveRow naiveRow(const model::AudioItem& item)
{
    auto* widget = new QWidget;
    auto* row = new QHBoxLayout(widget);
    row->setContentsMargins(8, 3, 8, 3);
    row->addWidget(new QToolButton);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(item.url.fileName()));
    texts->addWidget(new QLabel(model::durationText(item.duration) + " · " +
                                model::sampleRateText(item.sampleRate) + " · " +
                                model::channelText(item.channels)));
    row->addLayout(texts);
    row->addStretch(1);
    auto* bar = new QProgressBar;
    bar->setFixedWidth(90);
    bar->hide();
    auto* status = new QLabel;
    row->addWidget(bar);
    row->addWidget(status);
    return {widget, bar, status};
}

/// Scrolls from top to bottom a page at a time, painting each page.
double scrollThrough(QAbstractItemView& view)
{
    return seconds([&] {
        QScrollBar* bar = view.verticalScrollBar();
        for (int value = 0; value <= bar->maximum(); value += bar->pageStep()) {
            bar->setValue(value);
            view.viewport()->repaint();
        }
    });
}

/// Delivers `updates` in tens with the event loop running in between, as an
/// export's reports arrive; the time and the paints until the last is shown.
std::pair<double, int> flood(QAbstractItemView& view, const std::function<void(int)>& update)
{
    PaintCounter counter(view);
    const double time = seconds([&] {
        for (int i = 0; i < files; ++i) {
            update(i);
            if (i % 10 == 9)
                QCoreApplication::processEvents();
        }
        QElapsedTimer settle; // let a pending fold land
        settle.start();
        while (settle.elapsed() < 60)
            QCoreApplication::processEvents();
    });
    return {time, counter.paints};
}

void print(const char* what, double ours, double peer)
{
    std::printf("%-34s %9.3f s  %9.3f s  %7.1f×\n", what, ours, peer, peer / ours);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("lv2"));
    qputenv("LV2_PATH", dir.filePath("lv2").toUtf8()); // no plugins: the panel is measured
    QApplication app(argc, argv);
    const QString folder = makeFiles(dir.filePath("takes"));

    host::Lv2AudioHost host;
    QSettings settings(dir.filePath("bench.ini"), QSettings::IniFormat);
    chain::Chain chain(host, settings);

    // Reading the headers is the session's share; the rows are shown for a
    // session that holds the files already.
    session::Session session(host, settings);
    const double reading = seconds([&] { session.add({QUrl::fromLocalFile(folder)}); });
    const double withView = seconds([&] {
        session::Session other(host, settings);
        ui::files::FilesView panel(other, chain);
        panel.resize(900, 600);
        panel.show();
        other.add({QUrl::fromLocalFile(folder)});
        QCoreApplication::processEvents();
        panel.repaint();
    });

    std::unique_ptr<ui::files::FilesView> shown;
    const double ours = seconds([&] {
        shown = std::make_unique<ui::files::FilesView>(session, chain);
        shown->resize(900, 600);
        shown->show();
        QCoreApplication::processEvents();
        shown->repaint();
    });
    ui::files::FilesView& view = *shown;

    QListWidget peer;
    peer.setSelectionMode(QAbstractItemView::ExtendedSelection);
    peer.resize(900, 600);
    std::vector<NaiveRow> rows;
    const double peerShow = seconds([&] {
        for (const model::AudioItem& item : session.items()) { // built hidden, shown once
            auto* entry = new QListWidgetItem(&peer);
            NaiveRow row = naiveRow(item);
            entry->setSizeHint(row.widget->sizeHint());
            peer.setItemWidget(entry, row.widget);
            rows.push_back(row);
        }
        peer.show();
        QCoreApplication::processEvents();
        peer.repaint();
    });

    QListView& list = *view.list();
    const double oursScroll = scrollThrough(list);
    const double peerScroll = scrollThrough(peer);
    const double oursSelect = seconds([&] {
        list.selectAll();
        QCoreApplication::processEvents();
        list.viewport()->repaint();
    });
    const double peerSelect = seconds([&] {
        peer.selectAll();
        QCoreApplication::processEvents();
        peer.viewport()->repaint();
    });

    list.scrollToTop();
    peer.scrollToTop();
    const QUrl output = QUrl::fromLocalFile(dir.filePath("out.wav"));
    const auto [oursFlood, oursPaints] = flood(list, [&](int i) {
        const QUuid id = session.items()[i % 20].id; // the rows in sight, over and over
        session.setStatus(id, i % 2 ? model::Status::done(output)
                                    : model::Status::failed(QStringLiteral("Fehler %1").arg(i)));
    });
    const auto [peerFlood, peerPaints] = flood(peer, [&](int i) {
        NaiveRow& row = rows[size_t(i % 20)];
        row.status->setText(i % 2 ? QStringLiteral("Fertig") : QStringLiteral("Fehler"));
        row.status->setToolTip(QStringLiteral("Fehler %1").arg(i));
    });

    std::printf("%d files of 10 ms (WAV 16 bit mono), window 900 × 600, platform %s\n\n", files,
                qPrintable(QGuiApplication::platformName()));
    std::printf("%-34s %11s  %11s  %8s\n", "", "FilesView", "QListWidget", "ratio");
    std::printf("%-34s %9.3f s\n", "Session::add alone (headers)", reading);
    print("show 10,000 rows", ours, peerShow);
    print("scroll top to bottom, page-wise", oursScroll, peerScroll);
    print("select all", oursSelect, peerSelect);
    print("10,000 status updates", oursFlood, peerFlood);
    std::printf("%-34s %9d    %9d\n", "  paint events meanwhile", oursPaints, peerPaints);
    std::printf("\nadd to a shown, empty panel, headers included: %.3f s\n", withView);
    return 0;
}
