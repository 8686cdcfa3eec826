#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>

class QPainter;

namespace tolvex::ui::files {

/// The small symbols of the files panel, drawn as vector shapes so they
/// take any colour and stay sharp at any scale.
enum class Symbol { play, stop, plus, trash, waveform, checkmark, warning };

/// Paints `symbol` centred in `box`, as large as the box's shorter side.
void paintSymbol(QPainter& painter, const QRectF& box, Symbol symbol, const QColor& colour);

/// An icon of the symbol: the theme's icon of that meaning where the desktop
/// has one and `themed` is set, otherwise the drawn symbol in `colour`.
QIcon symbolIcon(Symbol symbol, const QColor& colour, bool themed = false);

} // namespace tolvex::ui::files
