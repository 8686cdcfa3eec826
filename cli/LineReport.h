#pragma once

#include "cli/ExportReport.h"

#include <cstdio>

namespace tolvex::cli {

/// One line per ended file on a stream: for people ("fertig: a.wav →
/// a bearbeitet.wav (−16,0 LUFS · LRA 3,1 LU · −1,2 dBTP)", "Fehler: b.wav:
/// …") or, with `json`, one JSON object per line for scripts (source,
/// output, status, message, seconds, and the written file's loudness in
/// LUFS, range in LU and truePeak in dBTP, each null where undefined).
class LineReport : public ExportReport {
public:
    LineReport(std::FILE* stream, bool json) : m_stream(stream), m_json(json) {}

    void ended(const ExportFile& file) override;
    void closing(const QString& notice) override;

    /// The line for one file, without the line break; the plain one with
    /// names and message made printable (see PlainText.h).
    static QByteArray plainLine(const ExportFile& file);
    static QByteArray jsonLine(const ExportFile& file);

private:
    std::FILE* m_stream;
    bool m_json;
};

} // namespace tolvex::cli
