#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>

namespace tolvex::app {

namespace {

const QString frameKey = QStringLiteral("window");

} // namespace

MainWindow::MainWindow(QSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_settings(settings)
{
    setWindowTitle(QStringLiteral("Tolvex"));
    setObjectName(QStringLiteral("main"));
    resize(defaultSize);
}

void MainWindow::restoreFrame()
{
    const QByteArray frame = m_settings.value(frameKey).toByteArray();
    if (!frame.isEmpty() && restoreGeometry(frame) && frameIsVisible())
        return;
    resize(defaultSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), defaultSize.boundedTo(screen->availableGeometry().size()));
        centred.moveCenter(screen->availableGeometry().center());
        setGeometry(centred);
    }
}

void MainWindow::saveFrame()
{
    m_settings.setValue(frameKey, saveGeometry());
}

bool MainWindow::frameIsVisible() const
{
    // The title bar must be reachable: a strip along the frame's top edge
    // at least 100 × 20 on some screen.
    const QRect frame = frameGeometry();
    const QRect titleBar(frame.topLeft(), QSize(frame.width(), 20));
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = titleBar.intersected(screen->availableGeometry());
        if (shown.width() >= 100 && shown.height() >= 10)
            return true;
    }
    return false;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveFrame();
    event->accept();
    Q_EMIT closed();
}

} // namespace tolvex::app
