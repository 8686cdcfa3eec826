#include "host/files/AudioFiles.h"

#include "host/HostError.h"
#include "host/files/FfmpegAudioFile.h"
#include "host/files/FileText.h"
#include "host/files/SndfileAudioFile.h"

#include <QFileInfo>

namespace tolvex::host {

std::unique_ptr<AudioFileReader> openAudioFile(const QString& path)
{
    if (const QString problem = accessProblem(path); !problem.isEmpty())
        throw HostError(cannotOpen(path, problem));
    if (auto reader = openSndfileReader(path))
        return reader;
    return openFfmpegReader(path);
}

std::unique_ptr<AudioFileWriter>
createAudioFile(const QString& path, const model::WriterSettings& settings, const AudioTags& tags)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == u"wav")
        return createSndfileWriter(path, false, settings, tags);
    if (extension == u"aif" || extension == u"aiff")
        return createSndfileWriter(path, true, settings, tags);
    if (extension == u"m4a")
        return createAacWriter(path, settings, tags);
    throw HostError(
        quotedFileName(path) +
        QStringLiteral(" lässt sich nicht anlegen: Die Endung passt zu keinem Format."));
}

} // namespace tolvex::host
