#pragma once

#include <QHashFunctions>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>

namespace tolvex::model {

/// Packs a four-character code big-endian: fourCC("aufx") == 1635083896.
constexpr quint32 fourCC(const char (&code)[5])
{
    return (quint32(quint8(code[0])) << 24) | (quint32(quint8(code[1])) << 16) |
           (quint32(quint8(code[2])) << 8) | quint32(quint8(code[3]));
}

/// Component type of a plain effect plugin.
inline constexpr quint32 effectType = fourCC("aufx");
/// Component type of an effect plugin that also takes MIDI events.
inline constexpr quint32 musicEffectType = fourCC("aumf");

/// The three codes by which the host finds and instantiates a plugin.
struct PluginId {
    quint32 type = 0;
    quint32 subtype = 0;
    quint32 manufacturer = 0;

    /// The codes as unsigned decimals joined by "-": "1635083896-2020438124-1147497839".
    QString text() const;

    friend bool operator==(const PluginId&, const PluginId&) = default;
};

/// Identity of an installed effect plugin. The codes find the plugin again;
/// name and vendor are for display and grouping only.
struct PluginInfo {
    PluginId codes;
    QString name;
    QString vendor;

    /// The element key of plugin lists: `codes.text()`.
    QString id() const { return codes.text(); }

    /// Equality takes all five fields: a different vendor is a different value.
    friend bool operator==(const PluginInfo&, const PluginInfo&) = default;
};

/// Hash over all five fields, consistent with operator==.
size_t qHash(const PluginInfo& info, size_t seed = 0) noexcept;

} // namespace tolvex::model

template <>
struct std::hash<tolvex::model::PluginInfo> {
    size_t operator()(const tolvex::model::PluginInfo& info) const noexcept
    {
        return tolvex::model::qHash(info, 0);
    }
};
