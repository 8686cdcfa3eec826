#pragma once

#include <QMainWindow>

class QSettings;

namespace tolvex::app {

/// The single main window "Tolvex". It remembers its frame between runs in
/// the settings (key "window") and puts it back only where a screen shows it.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QSize defaultSize{1040, 640};

    explicit MainWindow(QSettings& settings, QWidget* parent = nullptr);

    /// The remembered frame when a screen shows enough of it, else the
    /// default size centred on the primary screen. Call before show().
    void restoreFrame();
    void saveFrame();

Q_SIGNALS:
    /// The user closed the window: the application ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool frameIsVisible() const;

    QSettings& m_settings;
};

} // namespace tolvex::app
