#pragma once

#include "presets/PresetDialogs.h"

#include <QString>

namespace tolvex::ui {

/// Shows files and folders in the desktop's file manager: through the
/// org.freedesktop.FileManager1 D-Bus service (its folder opens with the
/// item selected), else by opening the containing folder.
class FileManager : public presets::FolderRevealer {
public:
    /// Selects `path` in its folder.
    static void showItem(const QString& path);

    void reveal(const QString& folderPath) override { showItem(folderPath); }
};

} // namespace tolvex::ui
