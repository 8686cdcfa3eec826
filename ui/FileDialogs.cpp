#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <QListView>
#include <QTreeView>

namespace tolvex::ui {

QList<QUrl> FileDialogs::pickFiles()
{
    // The desktop's own dialog where its platform theme has one (files);
    // else Qt's, which has its views before it opens: they are set to take
    // several entries of either kind, files and folders.
    QFileDialog dialog(m_parent);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Hinzufügen"));
    const QList<QAbstractItemView*> views = dialog.findChildren<QAbstractItemView*>();
    dialog.setNameFilters(
        {views.isEmpty() ? QStringLiteral("Audio (*)") : QStringLiteral("Audio und Ordner (*)")});
    for (auto* view : views)
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
