#pragma once

#include <QString>

namespace tolvex::ui {

/// A name as a menu item shows it exactly: an ampersand would otherwise mark
/// the next letter as the item's shortcut and vanish.
inline QString menuText(QString name)
{
    return name.replace(u'&', QStringLiteral("&&"));
}

} // namespace tolvex::ui
