#include "cli/PluginArgument.h"

#include <QRegularExpression>

namespace tolvex::cli {

PluginArgument PluginArgument::parse(const QString& argument,
                                     const std::function<bool(const QString&)>& isPlugin)
{
    static const QRegularExpression settingsList(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*=[^,]*(,[A-Za-z_][A-Za-z0-9_]*=[^,]*)*$"));
    const qsizetype colon = argument.lastIndexOf(u':');
    if (colon <= 0 || isPlugin(argument) ||
        !settingsList.match(QStringView(argument).mid(colon + 1)).hasMatch())
        return {argument, {}};
    PluginArgument parsed{argument.left(colon), {}};
    for (const QString& setting : argument.mid(colon + 1).split(u',')) {
        const qsizetype equals = setting.indexOf(u'=');
        parsed.settings.append({setting.left(equals), setting.mid(equals + 1)});
    }
    return parsed;
}

} // namespace tolvex::cli
