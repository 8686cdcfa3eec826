#pragma once

#include "host/AudioFile.h"
#include "host/ScratchAudio.h"
#include "render/EncoderThread.h"
#include "render/Renderer.h"

#include <stop_token>

namespace tolvex::render {

// A render to a loudness target runs the chain once, into scratch audio
// beside the output, measured as it goes; the output is then written from
// the scratch audio with one gain.

/// The share of the progress the chain's pass takes; writing the output
/// from the scratch audio takes the rest.
inline constexpr double chainPassShare = 0.8;

/// The scratch audio as the encoder thread's writer: blocks go in as they
/// are; there is nothing to finish nor to place.
class ScratchWriter : public host::AudioFileWriter {
public:
    explicit ScratchWriter(host::ScratchAudio& scratch) : m_scratch(scratch) {}

    void write(const host::AudioBuffer& buffer) override { m_scratch.write(buffer); }
    void finish() override {}
    void placeAt(const QString&) override {}

private:
    host::ScratchAudio& m_scratch;
};

/// Feeds everything `scratch` holds, from its first frame, to `encoder`,
/// reporting progress from chainPassShare on (see ProgressSteps). Throws the reader's HostError,
/// the encoder's error, RenderCancelled when `stop` is requested before a
/// block.
void writeFromScratch(host::AudioFileReader& scratch, EncoderThread& encoder,
                      const ProgressCallback& progress, std::stop_token stop);

} // namespace tolvex::render
