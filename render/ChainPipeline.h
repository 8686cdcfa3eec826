#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioHost.h"
#include "host/PluginInstance.h"
#include "render/BlockQueue.h"

#include <atomic>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace tolvex::render {

/// Runs a render's chain as a pipeline: the plugins in runs of consecutive
/// ones (stages), each stage on a thread of its own, so that while one
/// stage works on a block the next works on the block before it. Blocks
/// keep their order; every plugin gets exactly the blocks, in the same
/// frame counts and with the same samples, it would get in one line, so the
/// output is the same to the bit.
///
/// Every plugin has an offline engine of its own. Before start() the chain
/// runs on the calling thread (renderHere), which measures what each plugin
/// costs; start() splits the chain by those costs into stages of about the
/// same cost. From then on each plugin runs on its stage's thread only,
/// until the pipeline is destroyed: its calls on the two threads never
/// overlap, and thread start and the queues order them.
///
/// The blocks go round a fixed set of buffers: the calling thread fills a
/// vacant one and pushes it, the stages pass it on through bounded
/// lock-free queues, the calling thread takes it back as finished and
/// releases it. Nothing is allocated per block. All calls come from the
/// thread that made the pipeline.
class ChainPipeline {
public:
    /// Makes and starts one engine per instance, in `format` (the chain's)
    /// for blocks of up to `maxFrames`. Throws HostError or RenderError.
    ChainPipeline(host::AudioHost& host, const std::vector<host::PluginInstance*>& instances,
                  const host::AudioFormat& format, qint64 maxFrames);
    /// Drops the blocks under way (a stage ends the block it is in), joins
    /// the threads, then stops the engines.
    ~ChainPipeline();
    ChainPipeline(const ChainPipeline&) = delete;
    ChainPipeline& operator=(const ChainPipeline&) = delete;

    /// Before start(): runs the input's frames through the whole chain on
    /// this thread, timing each plugin; the result stays valid until the
    /// next call. Throws RenderError when a plugin fails, or HostError.
    const host::AudioBuffer& renderHere(const host::AudioBuffer& input);

    /// Splits the chain into at most `threads` stages (at least 2) by the
    /// costs measured and starts their threads.
    void start(int threads);
    /// The stages: how many plugins each runs, in chain order. Empty
    /// before start().
    std::vector<int> stageSizes() const;

    /// A buffer to fill with the next block, or null while every buffer is
    /// under way. Its frame length tells the stages how many frames to run.
    host::AudioBuffer* vacant();
    /// Sends the buffer vacant() handed out into the chain.
    void push();
    /// Whether blocks are under way.
    bool busy() const { return m_underWay > 0; }
    /// The oldest block under way once the chain has run it (waits for
    /// that); valid until release(). Throws what a plugin's engine threw,
    /// or RenderError when a plugin failed.
    const host::AudioBuffer& finished();
    /// Hands the buffer finished() gave back for a later block.
    void release();

private:
    struct Step;
    struct Slot;
    struct Stage;

    /// Runs steps [first, end) on the slot's block.
    void runSteps(size_t first, size_t end, Slot& slot) noexcept;
    void stageLoop(Stage& stage) noexcept;

    std::vector<std::unique_ptr<Step>> m_steps;
    std::vector<host::AudioBuffer> m_here; ///< renderHere's two buffers, used in turn
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<int> m_vacant; ///< slots free to fill; the calling thread's
    int m_underWay = 0;        ///< slots pushed and not yet released
    int m_taken = -1;          ///< the slot finished() handed out
    /// Queue i leads into stage i; the last one back to the calling thread.
    std::vector<std::unique_ptr<BlockQueue>> m_queues;
    std::atomic<bool> m_abandoned{false};         ///< the stages pass blocks on unrun
    std::vector<std::unique_ptr<Stage>> m_stages; // last: their threads end first
};

} // namespace tolvex::render
