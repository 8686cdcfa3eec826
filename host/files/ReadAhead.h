#pragma once

#include "host/files/FileDescriptor.h"

#include <QString>

#include <sndfile.h>

#include <memory>
#include <vector>

namespace tolvex::host {

/// A file read by libsndfile through its virtual I/O, from memory in pieces
/// of a mebibyte. On its own, libsndfile reads a few kilobytes per system
/// call, tens of thousands of calls for a long file, which cost more than
/// decoding it. Requests as large as the piece go straight to the file.
/// Used by one thread at a time; outlives the SNDFILE that reads it.
class ReadAhead {
public:
    /// The file at `path`, open for reading; none when it cannot be opened.
    static std::unique_ptr<ReadAhead> open(const QString& path);

    /// The callbacks for sf_open_virtual, with this as their user data.
    SF_VIRTUAL_IO* callbacks();

private:
    explicit ReadAhead(FileDescriptor file) : m_file(std::move(file)) {}

    sf_count_t length() const;
    sf_count_t seek(sf_count_t offset, int whence);
    sf_count_t read(char* into, sf_count_t count);
    /// Reads at most `count` bytes at `offset`; -1 on an error.
    sf_count_t readAt(char* into, sf_count_t count, sf_count_t offset) const;

    FileDescriptor m_file;
    std::vector<char> m_piece;
    sf_count_t m_pieceAt = 0; ///< where in the file the piece begins
    sf_count_t m_position = 0;
};

} // namespace tolvex::host
