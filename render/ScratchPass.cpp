#include "render/ScratchPass.h"

#include "render/RenderError.h"

#include <algorithm>

namespace tolvex::render {

void writeFromScratch(host::AudioFileReader& scratch, EncoderThread& encoder,
                      const ProgressCallback& progress, std::stop_token stop)
{
    const double total = double(std::max<qint64>(scratch.length(), 1));
    double lastProgress = 0;
    for (;;) {
        if (stop.stop_requested())
            throw RenderCancelled();
        host::AudioBuffer& block = encoder.next(stop);
        scratch.read(block, block.frameCapacity());
        if (block.frameLength() == 0)
            return;
        encoder.push();
        const double fraction = double(scratch.framePosition()) / total;
        if (fraction - lastProgress >= 0.01) {
            progress(chainPassShare + (1 - chainPassShare) * fraction);
            lastProgress = fraction;
        }
    }
}

} // namespace tolvex::render
