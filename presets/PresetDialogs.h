#pragma once

#include <QString>

#include <optional>

namespace tolvex::presets {

/// Asks for a preset's name: a modal prompt "Kette speichern" with the text
/// "Unter welchem Namen?", an empty field with the placeholder "z. B. Sprache
/// säubern" that has the focus, and the buttons "Speichern" (the default)
/// and "Abbrechen". Nothing when the user cancels. The GUI implements it.
class NamePrompt {
public:
    virtual ~NamePrompt() = default;
    virtual std::optional<QString> askName() = 0;
};

/// Shows a folder in the file manager. The GUI implements it.
class FolderRevealer {
public:
    virtual ~FolderRevealer() = default;
    virtual void reveal(const QString& folderPath) = 0;
};

} // namespace tolvex::presets
