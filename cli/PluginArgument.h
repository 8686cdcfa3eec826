#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <utility>

namespace tolvex::cli {

/// One "--plugin" argument taken apart: a plugin's URI and the control
/// values to give it, URI[:SYMBOL=VALUE,…].
struct PluginArgument {
    QString uri;
    /// Symbol and value as written, in the order given; the value is not
    /// checked here.
    QList<std::pair<QString, QString>> settings;

    /// Splits `argument`. URIs hold colons of their own ("urn:ardour:a-comp",
    /// "http://…#stereo"), so the settings are only what follows the last
    /// colon, and only when that is a list of SYMBOL=VALUE joined by commas,
    /// SYMBOL as LV2 spells symbols (a letter or "_", then letters, digits
    /// and "_"). The whole argument is the URI when it names a plugin by
    /// `isPlugin`, when it has no such list, or when the list would leave
    /// no URI.
    static PluginArgument parse(const QString& argument,
                                const std::function<bool(const QString&)>& isPlugin);
};

} // namespace tolvex::cli
