#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

namespace tolvex::ui {

/// The window's small symbols, one set for both panels, drawn as vector
/// shapes so that they take any colour and stay sharp at any scale.
enum class Symbol {
    play,      ///< previewing a file
    stop,      ///< stopping it
    plus,      ///< adding files, adding a plugin
    minus,     ///< removing an unavailable slot
    trash,     ///< clearing the list
    waveform,  ///< the empty file list
    checkmark, ///< a file done
    warning,   ///< a file failed
    trayFull,  ///< the stored chains
    sliders,   ///< a plugin's settings
    power,     ///< an active slot's switch (filled)
    powerOff,  ///< a bypassed slot's switch (outlined)
    chainPath, ///< the empty chain
};

/// Paints `symbol` centred in `box`, as large as the box's shorter side.
void paintSymbol(QPainter& painter, const QRectF& box, Symbol symbol, const QColor& colour);

/// An icon of the symbol: with `themed`, the desktop icon theme's icon of
/// that meaning where it has one; otherwise the drawn symbol in `colour`.
/// Symbols whose colour or fill carries meaning (the power switch, the
/// badges, the empty states) are always our own.
QIcon symbolIcon(Symbol symbol, const QColor& colour, bool themed = false);

} // namespace tolvex::ui
