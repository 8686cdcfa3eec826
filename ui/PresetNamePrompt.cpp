#include "ui/PresetNamePrompt.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvex::ui {

std::optional<QString> PresetNamePrompt::askName()
{
    QDialog dialog(m_parent);
    dialog.setWindowTitle(QStringLiteral("Kette speichern"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* title = new QLabel(QStringLiteral("Kette speichern"), &dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("Unter welchem Namen?"), &dialog));
    auto* field = new QLineEdit(&dialog);
    field->setObjectName(QStringLiteral("name"));
    field->setPlaceholderText(QStringLiteral("z. B. Sprache säubern"));
    field->setMinimumWidth(260);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* save =
        buttons->addButton(QStringLiteral("Speichern"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    save->setDefault(true);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

} // namespace tolvex::ui
