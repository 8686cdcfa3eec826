#pragma once

#include <sys/types.h>

#include "host/files/FileDescriptor.h"

#include <QByteArray>
#include <QString>

namespace tolvex::host {

/// A file created for a writer, and the one guard against a partial file
/// under an output's name. The file is written under a hidden name of its
/// own in the target's folder (see PartFiles.h), locked while this object
/// holds it, and takes its name only in place(): flushed to its disk,
/// renamed without ever replacing anything, the folder flushed after. A
/// crash, a kill or a power cut thus leaves either nothing or the whole file
/// under the name, at worst a hidden part file, which the next OutputFile
/// made in that folder removes. Until place() succeeds, the part file is
/// removed when the object goes, whatever step of the writer failed.
class OutputFile {
public:
    /// Creates the part file in the folder of `path`, after tidying away the
    /// leftovers of writers that died there. Throws HostError naming `path`.
    explicit OutputFile(const QString& path);
    ~OutputFile();

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// The open descriptor of the part file; -1 once placed.
    int descriptor() const { return m_file.get(); }
    /// The name the file is made for; after place() the one it took.
    const QString& path() const { return m_path; }

    /// Once another stretch of the file has been written, has the system
    /// start writing it to the disk, without waiting for that: the flush in
    /// place() then finds little left to write, instead of the whole file.
    /// Failures are left for place() to find. For the writer, after writes.
    void flushAhead();
    /// Flushes the file to its disk, puts it in place under the file name of
    /// `path` in the folder it was created in, never over anything standing
    /// there, flushes the folder and closes the file. Throws NameTaken when
    /// that name is taken: the file then waits for another place(). Throws
    /// HostError on any other failure, among them a folder deleted or moved
    /// meanwhile: the file is then removed with the object. Does nothing
    /// once placed.
    void place(const QString& path);

private:
    void checkPlaced(const QString& path);

    QString m_path;
    FileDescriptor m_folder;
    FileDescriptor m_file;
    QByteArray m_partName;
    off_t m_flushing = 0; ///< bytes handed to the disk by flushAhead()
    bool m_synced = false;
    bool m_placed = false;
    bool m_failed = false; ///< a failure other than a taken name: no further place()
};

} // namespace tolvex::host
