#pragma once

#include <QByteArray>
#include <QString>

namespace tolvex::host {

/// A file created anew for a writer, never over an existing one, and the
/// one guard against leaving a partial file behind: until close() succeeds,
/// the file is removed when the object goes, whichever step of the writer
/// failed (creation, header, a write, the closing) or if the writer was
/// released unfinished. Only a file this object created is ever removed.
class OutputFile {
public:
    /// Creates the file exclusively. Throws HostError naming it; "gibt es
    /// schon" when the name is taken.
    explicit OutputFile(const QString& path);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// The open descriptor; -1 after close().
    int descriptor() const { return m_fd; }
    const QString& path() const { return m_path; }

    /// Flushes the file to its disk, closes it and keeps it. Throws HostError
    /// when that fails; the file is then removed with the object.
    void close();

private:
    QString m_path;
    QByteArray m_nativePath;
    int m_fd = -1;
    bool m_keep = false;
};

} // namespace tolvex::host
