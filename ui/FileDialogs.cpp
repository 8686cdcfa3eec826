#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <QListView>
#include <QTreeView>

namespace tolvex::ui {

QList<QUrl> FileDialogs::pickFiles()
{
    // Files and folders in one dialog: Qt's own dialog, with its views set
    // to take several entries of either kind.
    QFileDialog dialog(m_parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setMimeTypeFilters({QStringLiteral("audio/*"), QStringLiteral("inode/directory")});
    dialog.setNameFilters({QStringLiteral("Audio und Ordner (*)")});
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Hinzufügen"));
    for (auto* view : dialog.findChildren<QAbstractItemView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedUrls();
}

std::optional<QUrl> FileDialogs::pickFolder()
{
    QFileDialog dialog(m_parent, QStringLiteral("Wohin sollen die bearbeiteten Dateien?"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Auswählen"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedUrls().isEmpty())
        return std::nullopt;
    return dialog.selectedUrls().first();
}

} // namespace tolvex::ui
