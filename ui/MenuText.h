#pragma once

#include <QKeyCombination>
#include <QString>

namespace tolvex::ui {

/// A name as a menu item shows it exactly: an ampersand would otherwise mark
/// the next letter as the item's shortcut and vanish.
inline QString menuText(QString name)
{
    return name.replace(u'&', QStringLiteral("&&"));
}

/// "Dateien hinzufügen …": the menu's shortcut, named in the panel's button.
inline constexpr QKeyCombination addFilesShortcut = Qt::CTRL | Qt::Key_O;

} // namespace tolvex::ui
