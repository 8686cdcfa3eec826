#pragma once

#include <QList>
#include <QUrl>

#include <optional>

namespace tolvex::session {

/// The open panels the session shows; the GUI implements them with
/// QFileDialog, tests with scripted answers. Both run modally on the GUI
/// thread and give nothing when the user cancels.
class FilePicker {
public:
    virtual ~FilePicker() = default;

    /// Files and folders to add: content types audio and folder, several at
    /// once, folders allowed, prompt "Hinzufügen".
    virtual QList<QUrl> pickFiles() = 0;
    /// The output folder: folders only, new ones allowed, prompt
    /// "Auswählen", message "Wohin sollen die bearbeiteten Dateien?".
    virtual std::optional<QUrl> pickFolder() = 0;
};

} // namespace tolvex::session
