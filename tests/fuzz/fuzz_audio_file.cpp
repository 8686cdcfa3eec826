// Writes arbitrary bytes to a file in a memory-backed folder and opens it as
// audio: the readers must either refuse it with a HostError or deliver
// blocks, whatever the bytes. A few blocks only, to keep each run short.
#include "host/HostError.h"
#include "host/files/AudioFiles.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

/// The folder every run writes its file in: made once per process, in
/// /dev/shm when there is one, removed at exit.
const char* inputFolder()
{
    static char folder[64];
    static const bool made = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::snprintf(folder, sizeof folder, "%s/tolvex-fuzz-XXXXXX", base);
        if (!::mkdtemp(folder))
            std::abort();
        std::atexit([] { ::rmdir(folder); });
        return true;
    }();
    return made ? folder : nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tolvex::host;
    static const QString path = QFile::decodeName(inputFolder()) + QStringLiteral("/input");
    static const QByteArray nativePath = QFile::encodeName(path);
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size) || ::close(fd) != 0)
        std::abort();
    try {
        const auto reader = openAudioFile(path);
        auto buffer = AudioBuffer::make(reader->processingFormat(), 1024);
        for (int block = 0; block < 3; ++block)
            reader->read(*buffer, 1024);
        reader->setFramePosition(reader->length() / 2);
        reader->read(*buffer, 1024);
        if (buffer->frameLength() > 1024 || reader->framePosition() > reader->length())
            std::abort();
    } catch (const HostError&) {
    }
    ::unlink(nativePath.constData());
    return 0;
}
