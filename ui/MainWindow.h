#pragma once

#include <QMainWindow>

namespace tolvex::ui {

/// The single main window of the application.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
};

} // namespace tolvex::ui
