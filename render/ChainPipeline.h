#pragma once

#include "host/AudioBuffer.h"
#include "host/AudioHost.h"
#include "host/PluginInstance.h"
#include "render/BlockQueue.h"
#include "render/PluginEngine.h"

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
/// Every plugin is run by its stage's thread only, for as long as the
/// pipeline lives: the thread, set up for plugins by the host
/// (AudioHost::preparePluginThread) and with the floating-point environment
/// of the thread that made the pipeline, makes an offline engine for each
/// of its plugins, starts it (which prepares the plugin), runs every block
/// through it and stops it at the end. So the stages are decided before the
/// instances have run (see ChainCalibration) and never change. Until the
/// pipeline is destroyed nothing else may run, prepare or reconfigure them.
///
/// The blocks go round a fixed set of buffers: the calling thread fills a
/// vacant one and pushes it, the stages pass it on through bounded
/// lock-free queues, the calling thread takes it back as finished and
/// releases it. Nothing is allocated per block. All calls come from the
/// thread that made the pipeline.
class ChainPipeline {
public:
    /// Starts a thread per stage; `stages` tells how many plugins each runs,
    /// in chain order, and adds up to the instances. The instances take
    /// `format`, in blocks of up to `maxFrames`. Throws RenderError, or what
    /// starting a thread throws. A plugin whose engine does not start fails
    /// every block that reaches it (see finished()).
    ChainPipeline(host::AudioHost& host, const std::vector<host::PluginInstance*>& instances,
                  const host::AudioFormat& format, qint64 maxFrames,
                  const std::vector<int>& stages);
    /// Drops the blocks under way (a stage ends the block it is in), ends
    /// the threads, which stop their engines first.
    ~ChainPipeline();
    ChainPipeline(const ChainPipeline&) = delete;
    ChainPipeline& operator=(const ChainPipeline&) = delete;

    /// A buffer to fill with the next block, or null while every buffer is
    /// under way. Its frame length tells the stages how many frames to run.
    host::AudioBuffer* vacant();
    /// Sends the buffer vacant() handed out into the chain.
    void push();
    /// Whether blocks are under way.
    bool busy() const { return m_underWay > 0; }
    /// The oldest block under way once the chain has run it (waits for
    /// that); valid until release(). Throws what a plugin's engine threw
    /// (also in starting), or RenderError when a plugin failed.
    const host::AudioBuffer& finished();
    /// Hands the buffer finished() gave back for a later block.
    void release();

private:
    struct Slot;
    struct Stage;

    /// The stage thread's life.
    void stageLoop(Stage& stage) noexcept;
    /// Runs the stage's plugins on the slot's block.
    static void runStage(Stage& stage, Slot& slot) noexcept;
    /// Ends the threads that were started.
    void shutDown() noexcept;

    host::AudioHost& m_host;
    const std::vector<host::PluginInstance*> m_instances;
    const host::AudioFormat m_format;
    const qint64 m_maxFrames;
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
