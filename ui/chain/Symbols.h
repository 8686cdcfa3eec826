#pragma once

#include <QColor>
#include <QIcon>

namespace tolvex::ui::chain {

/// The symbols the chain panel draws.
enum class Symbol {
    plus,      ///< adding a plugin
    minus,     ///< removing an unavailable slot
    trayFull,  ///< the stored chains
    sliders,   ///< a plugin's settings
    power,     ///< an active slot's switch (filled)
    powerOff,  ///< a bypassed slot's switch (outlined)
    chainPath, ///< the empty chain
};

/// The icon of `symbol`: the desktop icon theme's where it has one that fits,
/// else the panel's own drawing in `colour`. Symbols whose colour or fill
/// carries meaning (the power switch, the empty chain) are always our own.
QIcon symbolIcon(Symbol symbol, const QColor& colour);

} // namespace tolvex::ui::chain
