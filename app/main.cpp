#include "app/InstanceChannel.h"
#include "app/TolvexApp.h"
#include "app/Translations.h"
#include "session/QuitSignals.h"

#include <QApplication>
#include <QDir>
#include <QUrl>

#include <csignal>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tolvex"));
    QApplication::setApplicationName(QStringLiteral("Tolvex"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tolvex"));
    tolvex::app::installGermanTranslations(application);

    // The session's SIGTERM and the terminal's Ctrl+C end the run as the
    // menu's "Beenden" does.
    tolvex::session::QuitSignals quitSignals({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&quitSignals, &tolvex::session::QuitSignals::received, &application,
                     &QCoreApplication::quit);

    // A start while Tolvex runs hands its files to the running window and
    // ends; relative paths are taken from this start's working folder.
    QStringList paths;
    for (const QString& path : QApplication::arguments().mid(1))
        paths << QUrl::fromUserInput(path, QDir::currentPath(), QUrl::AssumeLocalFile).toString();
    tolvex::app::InstanceChannel instance;
    if (instance.handOverOrListen(paths))
        return 0;

    tolvex::app::TolvexApp tolvex;
    QObject::connect(&instance, &tolvex::app::InstanceChannel::pathsArrived, &tolvex,
                     &tolvex::app::TolvexApp::openFromElsewhere);
    tolvex.open(paths);
    tolvex.showWindow();
    return application.exec();
}
