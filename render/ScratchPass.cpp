#include "render/ScratchPass.h"

#include "render/ProgressSteps.h"
#include "render/RenderError.h"

#include <algorithm>

namespace tolvex::render {

void writeFromScratch(host::AudioFileReader& scratch, EncoderThread& encoder,
                      const ProgressCallback& progress, std::stop_token stop)
{
    ProgressSteps steps(progress, chainPassShare, 1, scratch.length());
    for (;;) {
        if (stop.stop_requested())
            throw RenderCancelled();
        host::AudioBuffer& block = encoder.next(stop);
        scratch.read(block, block.frameCapacity());
        if (block.frameLength() == 0)
            return;
        encoder.push();
        steps.reach(scratch.framePosition());
    }
}

} // namespace tolvex::render
