#include "host/PropertyList.h"

#include "host/PropertyListBudget.h"

#include <QDateTime>
#include <QStringList>

#include <plist/plist.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace tolvex::host {

namespace {

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using Node = std::unique_ptr<void, PlistFree>;

struct CharFree {
    void operator()(char* text) const { free(text); }
};
using CString = std::unique_ptr<char, CharFree>;

/// Property-list dates count seconds from 2001-01-01 00:00 UTC.
const QDateTime& referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

Node toNode(const QVariant& value);

Node dictionaryNode(const QVariantMap& map)
{
    Node dict(plist_new_dict());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        Node item = toNode(it.value());
        if (!item || it.key().contains(QChar(0))) // libplist takes keys as C strings
            return nullptr;
        plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), item.release());
    }
    return dict;
}

Node arrayNode(const QVariantList& list)
{
    Node array(plist_new_array());
    for (const QVariant& element : list) {
        Node item = toNode(element);
        if (!item)
            return nullptr;
        plist_array_append_item(array.get(), item.release());
    }
    return array;
}

Node dateNode(const QDateTime& date)
{
    if (!date.isValid())
        return nullptr;
    const qint64 msecs = referenceDate().msecsTo(date);
    if (msecs < 0 && msecs > -1000) // would read back as after the reference date
        return nullptr;
    const qint64 seconds = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    if (seconds < std::numeric_limits<int32_t>::min() ||
        seconds > std::numeric_limits<int32_t>::max())
        return nullptr;
    const auto usec = int32_t((msecs - seconds * 1000) * 1000);
    return Node(plist_new_date(int32_t(seconds), usec));
}

Node toNode(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString: // a C string to libplist: one with a NUL would lose its tail
        return value.toString().contains(QChar(0))
                   ? nullptr
                   : Node(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::Bool:
        return Node(plist_new_bool(value.toBool()));
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        // Negative integers travel as their 64-bit two's complement, as the
        // binary format stores them.
        return Node(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return Node(plist_new_uint(value.toULongLong()));
    case QMetaType::Float:
    case QMetaType::Double:
        return Node(plist_new_real(value.toDouble()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return Node(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QDateTime:
        return dateNode(value.toDateTime());
    case QMetaType::QStringList:
    case QMetaType::QVariantList:
        return arrayNode(value.toList());
    case QMetaType::QVariantMap:
        return dictionaryNode(value.toMap());
    case QMetaType::QVariantHash: {
        const QVariantHash hash = value.toHash();
        QVariantMap map;
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            map.insert(it.key(), it.value());
        return dictionaryNode(map);
    }
    default:
        return nullptr;
    }
}

std::optional<QVariant> fromNode(plist_t node, PropertyListBudget& budget, int depth);

/// The entries of a dictionary at `depth` (the root's is 1); nothing past
/// the depth limit or the budget.
std::optional<QVariantMap> dictionaryValue(plist_t node, PropertyListBudget& budget, int depth)
{
    if (depth > PropertyListBudget::depth || !budget.take(0))
        return std::nullopt;
    QVariantMap map;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    const std::unique_ptr<void, decltype(&free)> iterGuard(iter, &free);
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        const CString keyGuard(key);
        if (!item)
            break;
        std::optional<QVariant> value;
        if (!budget.take(key ? std::strlen(key) : 0) ||
            !(value = fromNode(item, budget, depth + 1)))
            return std::nullopt;
        map.insert(QString::fromUtf8(key), std::move(*value));
    }
    return map;
}

std::optional<QVariantList> arrayValue(plist_t node, PropertyListBudget& budget, int depth)
{
    if (depth > PropertyListBudget::depth || !budget.take(0))
        return std::nullopt;
    QVariantList list;
    const uint32_t count = plist_array_get_size(node);
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto value = fromNode(plist_array_get_item(node, i), budget, depth + 1);
        if (!value)
            return std::nullopt;
        list.append(std::move(*value));
    }
    return list;
}

QDateTime dateValue(plist_t node)
{
    int32_t seconds = 0;
    int32_t usec = 0;
    plist_get_date_val(node, &seconds, &usec);
    // Stored as floating-point seconds, the fraction comes back a hair short
    // (0.663 as 0.662999): round to the nearest millisecond. The seconds are
    // cut toward zero and the fraction comes unsigned, so before the
    // reference date it counts backwards.
    const qint64 fraction = std::lround(usec / 1000.0);
    return referenceDate().addMSecs(qint64(seconds) * 1000 + (seconds < 0 ? -fraction : fraction));
}

/// The value of a node at `depth`; nothing past the depth limit or the
/// budget.
std::optional<QVariant> fromNode(plist_t node, PropertyListBudget& budget, int depth)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return budget.take(0) ? std::optional<QVariant>(bool(value)) : std::nullopt;
    }
    case PLIST_UINT:
    case PLIST_UID: {
        uint64_t value = 0;
        if (plist_get_node_type(node) == PLIST_UID)
            plist_get_uid_val(node, &value);
        else
            plist_get_uint_val(node, &value);
        // The binary format's 8-byte integers are signed; 16-byte ones carry
        // unsigned values beyond that. This reader cannot tell the two apart
        // and takes the signed reading, which is the common one.
        return budget.take(0) ? std::optional<QVariant>(qint64(value)) : std::nullopt;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return budget.take(0) ? std::optional<QVariant>(value) : std::nullopt;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        // Empty, never null, whichever format it came from: an empty XML
        // element has no buffer where the binary reader has one.
        if (!budget.take(length))
            return std::nullopt;
        return QString::fromUtf8(text ? text : "", qsizetype(length));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (!budget.take(length))
            return std::nullopt;
        return QByteArray(bytes ? bytes : "", qsizetype(length));
    }
    case PLIST_DATE:
        return budget.take(0) ? std::optional<QVariant>(dateValue(node)) : std::nullopt;
    case PLIST_ARRAY:
        if (auto list = arrayValue(node, budget, depth))
            return std::move(*list);
        return std::nullopt;
    case PLIST_DICT:
        if (auto map = dictionaryValue(node, budget, depth))
            return std::move(*map);
        return std::nullopt;
    case PLIST_NONE:
        break;
    }
    return QVariant();
}

} // namespace

std::optional<QByteArray> writeBinaryPropertyList(const PropertyDictionary& dictionary)
{
    const Node root = dictionaryNode(dictionary);
    if (!root)
        return std::nullopt;
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root.get(), &bytes, &length);
    const CString guard(bytes);
    if (!bytes)
        return std::nullopt;
    return QByteArray(bytes, qsizetype(length));
}

std::optional<PropertyDictionary> readPropertyList(QByteArrayView data)
{
    PropertyListBudget budget(data.size());
    if (data.size() < 8 || data.size() > std::numeric_limits<int32_t>::max() ||
        !libplistMayRead(data, budget))
        return std::nullopt;
    plist_t parsed = nullptr;
    plist_from_memory(data.data(), uint32_t(data.size()), &parsed);
    const Node root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    return dictionaryValue(root.get(), budget, 1);
}

} // namespace tolvex::host
