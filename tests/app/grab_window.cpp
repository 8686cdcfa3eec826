// Saves pictures of the main window on a fake host into the folder given as
// the argument: light and dark, at the default size and at the smallest,
// idle and with a notice during an export, and with a chain whose plugin is
// missing. For looking at, not a test.
#include "app/ContentView.h"
#include "app/MainWindow.h"
#include "app/NoticeLine.h"
#include "app/Translations.h"
#include "model/ChainDocument.h"
#include "tests/app/AppRig.h"

#include <QApplication>
#include <QDateTime>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QStyleFactory>

using namespace tolvex;
using namespace tolvex::testing;

namespace {

/// A desktop's dark theme; Qt derives the roles not given.
QPalette darkPalette()
{
    const QColor text(0xE8E6E3);
    QPalette dark(text, QColor(0x33373D), QColor(0x3A3E44), QColor(0x1A1C1F), QColor(0x4A4E55),
                  text, Qt::white, QColor(0x1E2024), QColor(0x2A2D32));
    for (const auto role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
        dark.setColor(QPalette::Disabled, role, QColor(0x7A7D82));
    return dark;
}

void grab(AppRig& rig, const QString& path, QSize size)
{
    rig.app.window().resize(size);
    QApplication::processEvents();
    const auto until = QDateTime::currentMSecsSinceEpoch() + 400;
    while (QDateTime::currentMSecsSinceEpoch() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    rig.app.window().grab().save(path);
}

void grabAll(AppRig& rig, const QString& out, const QString& state, const QString& name)
{
    const QSize smallest = rig.app.window().minimumSizeHint();
    grab(rig, out + QStringLiteral("/shell-%1%2-1040.png").arg(name, state), {1040, 640});
    grab(rig, out + QStringLiteral("/shell-%1%2-min.png").arg(name, state), smallest);
    for (QAction* entry : rig.app.window().menuBar()->actions()) {
        QMenu* menu = entry->menu();
        menu->popup(QPoint(0, 0));
        QApplication::processEvents();
        const QString title = entry->text().remove('&');
        menu->grab().save(out + QStringLiteral("/menu-%1%2-%3.png").arg(name, state, title));
        menu->hide();
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    app::installGermanTranslations(application); // as the application speaks
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const QPalette light = QApplication::style()->standardPalette();
    QApplication::setPalette(light);
    QTemporaryDir dir;
    AppRig rig(dir.path());
    rig.app.showWindow();
    grabAll(rig, out, QString(), "light");
    QApplication::setPalette(darkPalette()); // switched while the window is open
    grabAll(rig, out, QString(), "dark");

    QCoro::waitFor(rig.app.chain().addPlugin(slowGain, std::nullopt, false, false));
    rig.app.session().add({rig.addAudio(dir.filePath("Interview.wav"), 60)});
    const QString chosen = dir.filePath("Ausgabe für den Sender mit langem Namen");
    QDir().mkpath(chosen);
    rig.app.session().setFolderPath(chosen);
    rig.app.session().setFormat(model::ExportFormat::m4a);
    rig.app.session().startExport(rig.app.chain());
    rig.app.content().notice().setDurations(60000, 200);
    rig.app.chain().setLastError(
        QStringLiteral("„Langsam“ lässt sich nicht laden: die Datei ist beschädigt."));
    grabAll(rig, out, "-export", "dark");
    QApplication::setPalette(light);
    grabAll(rig, out, "-export", "light");

    // A start whose stored chain names a plugin that is not installed.
    QTemporaryDir missingDir;
    {
        QSettings stored(missingDir.filePath("settings.ini"), QSettings::IniFormat);
        const model::PluginInfo hall{model::effectType, 77, 3, "Vintage-Hall", "Fehlt GmbH"};
        stored.setValue("chain", model::encodeChain({model::PluginState::from(slowGain, false),
                                                     model::PluginState::from(hall, false),
                                                     model::PluginState::from(slowGain, true)}));
    }
    AppRig missing(missingDir.path());
    missing.app.showWindow();
    grab(missing, out + QStringLiteral("/shell-light-unavailable-1040.png"), {1040, 640});
    QApplication::setPalette(darkPalette());
    grab(missing, out + QStringLiteral("/shell-dark-unavailable-1040.png"), {1040, 640});
    return 0;
}
