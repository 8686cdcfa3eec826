#include "host/files/FileFormat.h"

#include "host/HostError.h"
#include "host/files/FileText.h"

namespace tolvex::host {

AudioFormat fileFormat(const QString& path, int sampleRate, int channels)
{
    const auto format =
        sampleRate >= minimumFileRate ? AudioFormat::standard(sampleRate, channels) : std::nullopt;
    if (!format)
        throw HostError(cannotOpen(
            path, QStringLiteral("Abtastrate (%1 Hz) oder Kanalzahl (%2) wird nicht unterstützt.")
                      .arg(sampleRate)
                      .arg(channels)));
    return *format;
}

} // namespace tolvex::host
