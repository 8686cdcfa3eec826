#include "cli/TerminalProgress.h"

#include "cli/LineReport.h"
#include "cli/PlainText.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tolvex::cli {

namespace {

constexpr int barCells = 20;

int terminalColumns()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

/// A decimal with a comma, as German writes it.
QString decimal(double value, int digits)
{
    return QString::number(value, 'f', digits).replace(u'.', u',');
}

QString clockText(double seconds)
{
    const qint64 whole = qint64(seconds + 0.5);
    const QString minutesSeconds =
        QStringLiteral("%1:%2").arg(whole / 60 % 60).arg(whole % 60, 2, 10, QChar(u'0'));
    if (whole < 3600)
        return minutesSeconds;
    return QStringLiteral("%1:%2").arg(whole / 3600).arg(minutesSeconds.rightJustified(5, u'0'));
}

/// Shortens a text to `width` characters, with "…" in the middle.
QString elided(const QString& text, int width)
{
    if (text.size() <= width)
        return text.leftJustified(width);
    const int left = (width - 1) / 2;
    return text.left(left) + u'…' + text.right(width - 1 - left);
}

} // namespace

TerminalProgress::TerminalProgress(const QList<ExportFile>& files, QObject* parent)
    : QObject(parent), m_files(files)
{
    m_clock.start();
    m_timer.setInterval(100);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_dirty)
            redraw();
    });
    m_timer.start();
}

QString TerminalProgress::remainingText(double processed, double remaining, double elapsed)
{
    if (processed <= 0 || elapsed < 0.5)
        return QStringLiteral("Restzeit wird geschätzt …");
    return QStringLiteral("noch etwa ") + clockText(remaining * elapsed / processed);
}

void TerminalProgress::started(const ExportFile&)
{
    m_dirty = true;
}

void TerminalProgress::progressed(const ExportFile&)
{
    m_dirty = true;
}

void TerminalProgress::ended(const ExportFile& file)
{
    erase();
    write(LineReport::plainLine(file) + '\n');
    redraw();
}

void TerminalProgress::closing(const QString& notice)
{
    m_timer.stop();
    erase();
    if (!notice.isEmpty())
        write(notice.toUtf8() + '\n');
}

void TerminalProgress::erase()
{
    if (m_drawn > 0) // to the start of the block's first line, then clear below
        write("\x1b[" + QByteArray::number(m_drawn) + "F\x1b[J");
    m_drawn = 0;
}

void TerminalProgress::redraw()
{
    const int columns = terminalColumns();
    QByteArray block;
    int lines = 0;
    for (const ExportFile& file : m_files)
        if (file.phase == ExportFile::Phase::running) {
            block += fileLine(file, columns) + '\n';
            ++lines;
        }
    block += summaryLine(columns) + '\n';
    erase();
    write(block);
    m_drawn = lines + 1;
    m_dirty = false;
}

QByteArray TerminalProgress::fileLine(const ExportFile& file, int columns) const
{
    const int filled = int(file.progress * barCells + 0.5);
    const QString bar = QString(filled, u'█') + QString(barCells - filled, u'░');
    const double elapsed = double(file.clock.nsecsElapsed()) / 1e9;
    const QString speed = elapsed > 0.2 && file.progress > 0
                              ? decimal(file.duration * file.progress / elapsed, 1) + u'×'
                              : QStringLiteral("–");
    const QString figures =
        QStringLiteral(" %1 %2 % %3").arg(bar).arg(int(file.progress * 100), 3).arg(speed, 7);
    const int nameWidth = std::clamp(columns - 1 - int(figures.size()), 8, 32);
    const QString line = elided(printable(QFileInfo(file.source).fileName()), nameWidth) + figures;
    return line.left(columns - 1).toUtf8();
}

QByteArray TerminalProgress::summaryLine(int columns) const
{
    int finished = 0;
    int failed = 0;
    double total = 0;
    double processed = 0;
    for (const ExportFile& file : m_files) {
        finished += file.phase == ExportFile::Phase::done;
        failed += file.phase == ExportFile::Phase::failed;
        if (file.phase == ExportFile::Phase::failed || file.phase == ExportFile::Phase::cancelled)
            continue;
        total += file.duration;
        if (file.phase == ExportFile::Phase::done)
            processed += file.duration;
        else if (file.phase == ExportFile::Phase::running)
            processed += file.duration * file.progress;
    }
    QString line = QStringLiteral("%1 von %2 fertig").arg(finished).arg(m_files.size());
    if (failed > 0)
        line += QStringLiteral(", %1 mit Fehler").arg(failed);
    const double elapsed = double(m_clock.nsecsElapsed()) / 1e9;
    line += QStringLiteral(" · ") + remainingText(processed, total - processed, elapsed);
    return line.left(columns - 1).toUtf8();
}

void TerminalProgress::write(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace tolvex::cli
