#pragma once

#include "model/ExportFormat.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tolvex::cli {

/// What the command line asks for. Options left out stay empty: the export
/// then takes the settings the window keeps.
struct CliOptions {
    enum class Command { help, version, exportFiles, showChain, plugins, presets };

    Command command = Command::help;
    /// The chain comes from at most one of these three; none: the saved chain.
    std::optional<QString> preset;
    std::optional<QString> chainFile;
    QStringList plugins; ///< "--plugin" arguments, first effect first: URI[:SYMBOL=VALUE,…]
    std::optional<model::ExportFormat> format;
    std::optional<QString> suffix;
    std::optional<QString> outputDir;
    std::optional<int> jobs;
    /// "--loudness": a target in LUFS, or "aus" (switched off here, whatever
    /// the window's setting says); left out: the window's setting.
    std::optional<std::optional<double>> loudness;
    std::optional<double> truePeak; ///< "--true-peak", dBTP; only with --loudness
    /// "--album": one gain for all the files; only with --loudness, which
    /// without it normalises each file on its own.
    bool album = false;
    bool json = false;
    QStringList paths;

    /// Reads the arguments after the program name. Options take their value
    /// as the next argument or after "="; "--" ends the options. Throws
    /// UsageError with a German message for anything it cannot take: also
    /// for options from more than one chain source, and for an option the
    /// command does not take ("chain show" takes only the chain's).
    static CliOptions parse(const QStringList& arguments);
};

} // namespace tolvex::cli
