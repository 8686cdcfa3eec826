#pragma once

#include "app/UpdateCheckResult.h"

#include <QDialog>

class QVBoxLayout;

namespace tolvex::app {

/// Shows how an update check ended: a newer version with its notes and a
/// button that opens its download page in the browser, that Tolvex is up to
/// date, or why the check failed. Texts from the feed or the server are cut
/// ("…") where they are too long, so the dialog always fits on a screen.
class UpdateDialog : public QDialog {
    Q_OBJECT

public:
    explicit UpdateDialog(const UpdateCheckResult& result, QWidget* parent = nullptr);

private:
    void addMessage(QVBoxLayout* column, const UpdateCheckResult& result);
    void addNewerVersion(QVBoxLayout* column, const AppcastItem& item,
                         const QString& currentVersion);
};

} // namespace tolvex::app
