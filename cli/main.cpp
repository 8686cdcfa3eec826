// tolvex-cli: the batch export of Tolvex without a window.
#include "cli/ChainShow.h"
#include "cli/CliOptions.h"
#include "cli/ExportCommand.h"
#include "cli/HelpText.h"
#include "cli/ListCommands.h"
#include "cli/PlainText.h"
#include "cli/UsageError.h"
#include "host/engine/Outputs.h"
#include "host/lv2/Lv2AudioHost.h"
#include "session/FileNames.h"
#include "session/QuitSignals.h"

#include <QCoreApplication>
#include <QSettings>

#include <csignal>
#include <cstdio>

using namespace tolvex;

namespace {

/// The arguments after the program name, every byte of a path kept (Qt's
/// own list replaces bytes that are not UTF-8).
QStringList arguments(int argc, char* argv[])
{
    QStringList list;
    for (int i = 1; i < argc; ++i)
        list.append(session::decodeFileName(argv[i]));
    return list;
}

int runCommand(const cli::CliOptions& options, session::QuitSignals& stops)
{
    using Command = cli::CliOptions::Command;
    switch (options.command) {
    case Command::help:
        std::fputs(cli::helpText().toUtf8().constData(), stdout);
        return 0;
    case Command::version:
        std::printf("tolvex-cli %s\n", TOLVEX_VERSION);
        return 0;
    case Command::presets:
        return cli::listPresets();
    case Command::plugins: {
        host::Lv2AudioHost host([] { return host::makeNullOutput(); });
        return cli::listPlugins(host);
    }
    case Command::showChain:
    case Command::exportFiles:
        break;
    }
    host::Lv2AudioHost host([] { return host::makeNullOutput(); });
    QSettings settings; // the window's store: organisation and application "Tolvex"
    if (options.command == Command::showChain)
        return cli::showChain(host, model::ExportSettings(settings), options);
    cli::ExportCommand command(host, settings, options);
    return command.run(stops);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    // Before anything that takes time: a signal from here on ends the
    // program with status 130, an export after cleaning up.
    session::QuitSignals stops({SIGINT, SIGTERM});
    QCoreApplication::setOrganizationName(QStringLiteral("Tolvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Tolvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVEX_VERSION));
    int status = 2;
    try {
        status = runCommand(cli::CliOptions::parse(arguments(argc, argv)), stops);
    } catch (const cli::UsageError& error) {
        std::fprintf(stderr, "tolvex-cli: %s\n", cli::printableUtf8(error.message()).constData());
    }
    return stops.arrived() ? 130 : status;
}
