#include "cli/CliOptions.h"

#include "cli/UsageError.h"

#include <cmath>
#include <functional>

namespace tolvex::cli {

namespace {

QString quoted(const QString& text)
{
    return u'„' + text + u'“';
}

const QString helpHint = QStringLiteral(" „tolvex-cli --help“ zeigt die Hilfe.");

std::optional<CliOptions::Command> commandNamed(const QString& name)
{
    using Command = CliOptions::Command;
    if (name == u"export")
        return Command::exportFiles;
    if (name == u"chain")
        return Command::showChain;
    if (name == u"plugins")
        return Command::plugins;
    if (name == u"presets")
        return Command::presets;
    if (name == u"help" || name == u"--help" || name == u"-h")
        return Command::help;
    if (name == u"--version")
        return Command::version;
    return std::nullopt;
}

model::ExportFormat formatNamed(const QString& name)
{
    if (const auto format = model::exportFormatFromRawValue(name))
        return *format;
    throw UsageError(QStringLiteral("Unbekanntes Format ") + quoted(name) +
                     QStringLiteral(" – möglich sind wav24, wav16, wav32f, aiff24 und m4a."));
}

int jobsFrom(const QString& text)
{
    bool number = false;
    const int jobs = text.toInt(&number);
    if (!number || jobs < 1)
        throw UsageError(QStringLiteral("--jobs braucht eine ganze Zahl ab 1, nicht ") +
                         quoted(text) + u'.');
    return jobs;
}

/// A level as people type it: "-16", "−16", "-16.5" or "-16,5", within
/// lowest…highest; nothing otherwise.
std::optional<double> levelFrom(QString text, double lowest, double highest)
{
    text.replace(QChar(0x2212), u'-').replace(u',', u'.');
    bool number = false;
    const double level = text.toDouble(&number);
    if (!number || !std::isfinite(level) || level < lowest || level > highest)
        return std::nullopt;
    return level;
}

std::optional<double> loudnessFrom(const QString& text)
{
    if (text == u"aus")
        return std::nullopt;
    if (const auto level = levelFrom(text, -70, 0))
        return level;
    throw UsageError(QStringLiteral("--loudness braucht eine Lautheit in LUFS von −70 bis 0 "
                                    "oder „aus“, nicht ") +
                     quoted(text) + u'.');
}

double truePeakFrom(const QString& text)
{
    if (const auto level = levelFrom(text, -20, 0))
        return *level;
    throw UsageError(QStringLiteral("--true-peak braucht einen Spitzenpegel in dBTP von −20 "
                                    "bis 0, nicht ") +
                     quoted(text) + u'.');
}

/// Takes an option that names the chain; false for any other.
bool takeChainOption(CliOptions& options, const QString& name,
                     const std::function<QString()>& value)
{
    if (name == u"--preset")
        options.preset = value();
    else if (name == u"--chain")
        options.chainFile = value();
    else if (name == u"--plugin")
        options.plugins.append(value());
    else
        return false;
    return true;
}

/// Takes one option of the export command with its value, if it has one.
void takeExportOption(CliOptions& options, const QString& name,
                      const std::function<QString()>& value)
{
    if (name == u"--json")
        options.json = true;
    else if (name == u"--album")
        options.album = true;
    else if (name == u"--format")
        options.format = formatNamed(value());
    else if (name == u"--suffix")
        options.suffix = value();
    else if (name == u"--output-dir")
        options.outputDir = value();
    else if (name == u"--jobs")
        options.jobs = jobsFrom(value());
    else if (name == u"--loudness")
        options.loudness = loudnessFrom(value());
    else if (name == u"--true-peak")
        options.truePeak = truePeakFrom(value());

    else
        throw UsageError(QStringLiteral("Unbekannte Option ") + quoted(name) + u'.' + helpHint);
}

/// Takes one option of `command`; "--help" turns the command into help.
void takeOption(CliOptions& options, CliOptions::Command command, const QString& name,
                const std::function<QString()>& value)
{
    if (name == u"--help" || name == u"-h")
        options.command = CliOptions::Command::help;
    else if (takeChainOption(options, name, value))
        return;
    else if (command == CliOptions::Command::exportFiles)
        takeExportOption(options, name, value);
    else
        throw UsageError(quoted(QStringLiteral("tolvex-cli chain show")) +
                         QStringLiteral(" kennt die Option ") + quoted(name) +
                         QStringLiteral(" nicht; es nimmt --preset, --chain oder --plugin."));
}

/// The options and paths after the command; "--" ends the options.
void takeArguments(CliOptions& options, const QStringList& rest)
{
    const CliOptions::Command command = options.command;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& argument = rest[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            options.paths.append(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        const auto value = [&]() -> QString {
            if (equals >= 0)
                return argument.mid(equals + 1);
            if (i + 1 >= rest.size())
                throw UsageError(QStringLiteral("Die Option ") + quoted(name) +
                                 QStringLiteral(" braucht einen Wert."));
            return rest[++i];
        };
        takeOption(options, command, name, value);
        if (equals >= 0 && (name == u"--json" || name == u"--album"))
            throw UsageError(QStringLiteral("Die Option ") + quoted(name) +
                             QStringLiteral(" nimmt keinen Wert."));
    }
}

/// What the arguments say must hold together.
void checkTogether(const CliOptions& options)
{
    if (options.preset && options.chainFile)
        throw UsageError(QStringLiteral("--preset und --chain schließen einander aus."));
    if (!options.plugins.isEmpty() && (options.preset || options.chainFile))
        throw UsageError(QStringLiteral("--plugin baut eine eigene Kette und schließt --preset "
                                        "und --chain aus."));
    if (options.command == CliOptions::Command::showChain && !options.paths.isEmpty())
        throw UsageError(quoted(QStringLiteral("tolvex-cli chain show")) +
                         QStringLiteral(" nimmt keine Pfade, nicht ") +
                         quoted(options.paths.first()) + u'.');
    if (options.truePeak && !(options.loudness && *options.loudness))
        throw UsageError(
            QStringLiteral("--true-peak gilt nur mit einer Lautheit nach --loudness."));
    if (options.album && !(options.loudness && *options.loudness))
        throw UsageError(QStringLiteral("--album gilt nur mit einer Lautheit nach --loudness: "
                                        "etwa --loudness -16 --album."));
    if (options.command == CliOptions::Command::exportFiles && options.paths.isEmpty())
        throw UsageError(QStringLiteral("Keine Dateien oder Ordner angegeben.") + helpHint);
}

} // namespace

CliOptions CliOptions::parse(const QStringList& arguments)
{
    if (arguments.isEmpty())
        throw UsageError(QStringLiteral("Kein Befehl angegeben.") + helpHint);
    const auto command = commandNamed(arguments.first());
    if (!command)
        throw UsageError(QStringLiteral("Unbekannter Befehl ") + quoted(arguments.first()) + u'.' +
                         helpHint);
    CliOptions options;
    options.command = *command;
    QStringList rest = arguments.mid(1);
    if (options.command == Command::showChain) {
        if (!rest.isEmpty() && rest.first() == u"show")
            rest.removeFirst();
        else if (rest.isEmpty() || (rest.first() != u"--help" && rest.first() != u"-h"))
            throw UsageError(QStringLiteral("„tolvex-cli chain“ kennt nur „show“.") + helpHint);
    }
    if (options.command != Command::exportFiles && options.command != Command::showChain) {
        if (options.command != Command::help && !rest.isEmpty())
            throw UsageError(quoted(QStringLiteral("tolvex-cli ") + arguments.first()) +
                             QStringLiteral(" nimmt keine weiteren Angaben."));
        return options;
    }
    takeArguments(options, rest);
    if (options.command != Command::help)
        checkTogether(options);
    return options;
}

} // namespace tolvex::cli
