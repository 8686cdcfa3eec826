#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QVariantMap>

#include <optional>

namespace tolvex::host {

/// A property-list dictionary with string keys. Values are QString (string),
/// bool, qint64/quint64 or any other integer type (integer), double or float
/// (real), QByteArray (data), QDateTime (date), QVariantList or QStringList
/// (array) and QVariantMap (dictionary), nested freely.
using PropertyDictionary = QVariantMap;

/// Serialises a dictionary as a binary property list ("bplist00"). Nothing
/// when a value, however deep, is of a type a property list cannot hold.
std::optional<QByteArray> writeBinaryPropertyList(const PropertyDictionary& dictionary);

/// Reads a property list in the binary or the XML format. Nothing when the
/// bytes are not a property list, or its root is not a dictionary.
std::optional<PropertyDictionary> readPropertyList(QByteArrayView data);

} // namespace tolvex::host
