#include "model/ChainDocument.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace tolvex::model {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr double maxCode = std::numeric_limits<quint32>::max();

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return {bytes.constData(), size_t(bytes.size())};
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

/// A four-character code: a whole JSON number in 0...4294967295. Integers are
/// taken as they are; a number written with a fraction or exponent counts when
/// its value is whole and in range (1.0 and 1e3 are whole numbers).
std::optional<quint32> readCode(const Json& value)
{
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > std::numeric_limits<quint32>::max())
            return std::nullopt;
        return quint32(number);
    }
    if (value.is_number_integer()) { // only negative numbers (and "-0") land here
        const auto number = value.get<std::int64_t>();
        if (number != 0)
            return std::nullopt;
        return 0u;
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!std::isfinite(number) || number < 0 || number > maxCode ||
            std::floor(number) != number)
            return std::nullopt;
        return quint32(number);
    }
    return std::nullopt;
}

std::optional<QString> readString(const Json& value)
{
    if (!value.is_string())
        return std::nullopt;
    return fromUtf8(value.get_ref<const std::string&>());
}

std::optional<PluginState> readEntry(const Json& object)
{
    if (!object.is_object())
        return std::nullopt;
    const auto member = [&](const char* key) -> const Json* {
        const auto found = object.find(key);
        return found == object.end() ? nullptr : &*found;
    };
    const Json* type = member("type");
    const Json* subtype = member("subtype");
    const Json* manufacturer = member("manufacturer");
    const Json* name = member("name");
    const Json* vendor = member("vendor");
    const Json* bypass = member("bypass");
    if (!type || !subtype || !manufacturer || !name || !vendor || !bypass)
        return std::nullopt;

    PluginState entry;
    const auto typeCode = readCode(*type);
    const auto subtypeCode = readCode(*subtype);
    const auto manufacturerCode = readCode(*manufacturer);
    auto nameText = readString(*name);
    auto vendorText = readString(*vendor);
    if (!typeCode || !subtypeCode || !manufacturerCode || !nameText || !vendorText ||
        !bypass->is_boolean())
        return std::nullopt;
    entry.codes = {*typeCode, *subtypeCode, *manufacturerCode};
    entry.name = std::move(*nameText);
    entry.vendor = std::move(*vendorText);
    entry.bypass = bypass->get<bool>();

    if (const Json* state = member("state"); state && !state->is_null()) {
        if (!state->is_string())
            return std::nullopt;
        const auto& text = state->get_ref<const std::string&>();
        auto bytes = decodeBase64Strict(QByteArrayView(text.data(), qsizetype(text.size())));
        if (!bytes)
            return std::nullopt;
        entry.state = std::move(*bytes);
    }
    return entry;
}

constexpr std::array<qint8, 256> base64Table = [] {
    std::array<qint8, 256> table{};
    table.fill(-1);
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[quint8(alphabet[i])] = qint8(i);
    return table;
}();

} // namespace

QByteArray encodeChain(const QList<PluginState>& chain)
{
    OrderedJson document = OrderedJson::array();
    for (const PluginState& entry : chain) {
        OrderedJson object = OrderedJson::object();
        object["type"] = entry.codes.type;
        object["subtype"] = entry.codes.subtype;
        object["manufacturer"] = entry.codes.manufacturer;
        object["name"] = utf8(entry.name);
        object["vendor"] = utf8(entry.vendor);
        object["bypass"] = entry.bypass;
        if (entry.state) {
            const QByteArray base64 = entry.state->toBase64();
            object["state"] = std::string(base64.constData(), size_t(base64.size()));
        }
        document.push_back(std::move(object));
    }
    // QString::toUtf8 never yields invalid UTF-8, so "replace" never triggers;
    // it keeps the promise that encoding cannot fail.
    const std::string text = document.dump(-1, ' ', false, Json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::optional<QList<PluginState>> decodeChain(QByteArrayView document)
{
    const Json root = Json::parse(document.begin(), document.end(), nullptr, false);
    if (!root.is_array())
        return std::nullopt; // also covers a parse error ("discarded")
    QList<PluginState> chain;
    chain.reserve(qsizetype(root.size()));
    for (const Json& element : root) {
        auto entry = readEntry(element);
        if (!entry)
            return std::nullopt;
        chain.append(std::move(*entry));
    }
    return chain;
}

std::optional<QByteArray> decodeBase64Strict(QByteArrayView text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    if (!text.isEmpty() && text.back() == '=')
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;

    QByteArray bytes;
    bytes.reserve(text.size() / 4 * 3);
    quint32 group = 0;
    int bits = 0;
    for (qsizetype i = 0; i < text.size() - padding; ++i) {
        const qint8 value = base64Table[quint8(text[i])];
        if (value < 0)
            return std::nullopt; // also a "=" before the end
        group = (group << 6) | quint32(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.append(char((group >> bits) & 0xFF));
        }
    }
    return bytes;
}

} // namespace tolvex::model
