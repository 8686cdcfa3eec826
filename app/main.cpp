#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tolvex"));
    QApplication::setApplicationName(QStringLiteral("Tolvex"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tolvex"));

    tolvex::ui::MainWindow window;
    window.show();
    return app.exec();
}
