#pragma once

#include "session/FilePicker.h"

class QWidget;

namespace tolvex::ui {

/// The session's open panels as QFileDialogs.
class FileDialogs : public session::FilePicker {
public:
    explicit FileDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    QList<QUrl> pickFiles() override;
    std::optional<QUrl> pickFolder() override;

private:
    QWidget* m_parent;
};

} // namespace tolvex::ui
