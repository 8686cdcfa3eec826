#include "ui/MainWindow.h"

namespace tolvex::ui {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tolvex"));
    resize(960, 640);
}

} // namespace tolvex::ui
