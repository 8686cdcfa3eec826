#pragma once

#include "model/PluginState.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace tolvex::model {

/// The chain document: compact UTF-8 JSON, an array with one object per entry,
/// members in the order type, subtype, manufacturer, name, vendor, bypass,
/// state ("state" as standard Base64, left out when absent). The same bytes
/// go into the autosave setting and into every preset file.
QByteArray encodeChain(const QList<PluginState>& chain);

/// Reads a chain document, all or nothing: any fault in any element gives
/// nothing, and the caller reports it in its own words. Members may stand in
/// any order; unknown members are ignored; "state" may be null or absent.
std::optional<QList<PluginState>> decodeChain(QByteArrayView document);

/// Strict standard Base64 (RFC 4648, "+" and "/", "=" padding, no line
/// breaks or other characters): nothing on any deviation.
std::optional<QByteArray> decodeBase64Strict(QByteArrayView text);

} // namespace tolvex::model
