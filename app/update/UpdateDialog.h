#pragma once

#include "app/update/UpdateCheckResult.h"

#include <QDialog>

class QVBoxLayout;

namespace tolvex::app {

/// Shows that an update check runs (from the moment it starts: a busy bar
/// and "Abbrechen"), then how it ended: a newer version with its notes and a
/// button that opens its download page in the browser, that Tolvex is up to
/// date, or why the check failed. Texts from the feed or the server are cut
/// ("…") where they are too long, so the dialog always fits on a screen.
class UpdateDialog : public QDialog {
    Q_OBJECT

public:
    /// While the check runs.
    explicit UpdateDialog(QWidget* parent = nullptr);
    /// How it ended.
    explicit UpdateDialog(const UpdateCheckResult& result, QWidget* parent = nullptr);

    /// Replaces what the dialog shows with how the check ended.
    void showResult(const UpdateCheckResult& result);
    /// Whether it still shows the check running.
    bool isWaiting() const { return m_waiting; }

private:
    /// A fresh page for the dialog's content: the old one goes.
    QVBoxLayout* newPage(bool warning);
    void addMessage(QVBoxLayout* column, const UpdateCheckResult& result);
    void addNewerVersion(QVBoxLayout* column, const AppcastItem& item,
                         const QString& currentVersion);

    QWidget* m_page = nullptr;
    bool m_waiting = false;
};

} // namespace tolvex::app
