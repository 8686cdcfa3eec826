#pragma once

#include "cli/ExportReport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

namespace tolvex::cli {

/// The live display on a terminal: a line per running file with a bar, the
/// percentage and the speed (× real time), and a last line with the count
/// and the overall remaining time. Redrawn in place with ANSI cursor moves
/// at most ten times a second; ended files leave a permanent line above it.
class TerminalProgress : public QObject, public ExportReport {
    Q_OBJECT

public:
    /// `files` is the export's whole list, read when drawing.
    explicit TerminalProgress(const QList<ExportFile>& files, QObject* parent = nullptr);

    void started(const ExportFile& file) override;
    void progressed(const ExportFile& file) override;
    void ended(const ExportFile& file) override;
    void closing(const QString& notice) override;

    /// The remaining time for `remaining` seconds of audio at the pace of
    /// `processed` seconds of audio in `elapsed` seconds: "noch etwa 1:05".
    static QString remainingText(double processed, double remaining, double elapsed);

private:
    void redraw();
    void erase();
    QByteArray fileLine(const ExportFile& file, int columns) const;
    QByteArray summaryLine(int columns) const;
    void write(const QByteArray& bytes);

    const QList<ExportFile>& m_files;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_dirty = false;
    int m_drawn = 0; ///< lines of the live block on screen
};

} // namespace tolvex::cli
