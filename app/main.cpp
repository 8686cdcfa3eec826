#include "app/TolvexApp.h"
#include "app/Translations.h"
#include "session/QuitSignals.h"

#include <QApplication>

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

    tolvex::app::TolvexApp tolvex;
    tolvex.open(QApplication::arguments().mid(1));
    tolvex.showWindow();
    return application.exec();
}
