#include "render/ChainPipeline.h"

#include "render/ChainBuffers.h"
#include "render/RenderError.h"

#include <algorithm>

namespace tolvex::render {

namespace {

/// Buffers that go round, per plugin (and so at least per stage): one in a
/// stage's hands, the others waiting before it or after it, so that uneven
/// blocks do not stall it.
constexpr int slotsPerPlugin = 4;

} // namespace

/// A block on its way: two buffers, the one holding the block and the one
/// the next plugin writes into, and what went wrong on the way.
struct ChainPipeline::Slot {
    std::vector<host::AudioBuffer> buffers;
    int current = 0;
    bool failed = false;
    std::exception_ptr error;
};

/// Plugins [first, end) of the chain. The engines and the failure belong to
/// the stage's thread.
struct ChainPipeline::Stage {
    size_t first = 0;
    size_t end = 0;
    BlockQueue* in = nullptr;
    BlockQueue* out = nullptr;
    std::vector<std::unique_ptr<PluginEngine>> engines;
    std::exception_ptr failure; ///< why the engines could not be started
    std::thread thread;
};

ChainPipeline::ChainPipeline(host::AudioHost& host,
                             const std::vector<host::PluginInstance*>& instances,
                             const host::AudioFormat& format, qint64 maxFrames,
                             const std::vector<int>& stages)
    : m_host(host), m_instances(instances), m_format(format), m_maxFrames(maxFrames)
{
    for (size_t i = 0; i < size_t(slotsPerPlugin) * instances.size(); ++i) {
        auto slot = std::make_unique<Slot>();
        for (int b = 0; b < 2; ++b)
            slot->buffers.push_back(makeRenderBuffer(format, maxFrames));
        m_slots.push_back(std::move(slot));
    }
    for (int i = int(m_slots.size()) - 1; i >= 0; --i)
        m_vacant.push_back(i);
    // Enough room in every queue for all the slots and the closing mark.
    for (size_t i = 0; i <= stages.size(); ++i)
        m_queues.push_back(std::make_unique<BlockQueue>(m_slots.size() + 1));
    size_t first = 0;
    for (size_t s = 0; s < stages.size(); ++s) {
        auto stage = std::make_unique<Stage>();
        stage->first = first;
        first = std::min(first + size_t(std::max(stages[s], 0)), instances.size());
        stage->end = s + 1 < stages.size() ? first : instances.size();
        stage->in = m_queues[s].get();
        stage->out = m_queues[s + 1].get();
        m_stages.push_back(std::move(stage));
    }
    // Each thread starts with this thread's floating-point environment.
    try {
        for (auto& stage : m_stages)
            stage->thread = std::thread(&ChainPipeline::stageLoop, this, std::ref(*stage));
    } catch (...) {
        shutDown();
        throw;
    }
}

ChainPipeline::~ChainPipeline()
{
    shutDown();
}

void ChainPipeline::shutDown() noexcept
{
    if (m_stages.empty() || !m_stages.front()->thread.joinable())
        return;
    m_abandoned.store(true, std::memory_order_relaxed);
    m_queues.front()->push(-1);
    for (auto& stage : m_stages)
        if (stage->thread.joinable()) // all but those that never started
            stage->thread.join();
}

host::AudioBuffer* ChainPipeline::vacant()
{
    if (m_vacant.empty())
        return nullptr;
    Slot& slot = *m_slots[size_t(m_vacant.back())];
    slot.current = 0;
    slot.failed = false;
    slot.error = nullptr;
    return &slot.buffers[0];
}

void ChainPipeline::push()
{
    const int slot = m_vacant.back();
    m_vacant.pop_back();
    ++m_underWay;
    m_queues.front()->push(slot);
}

const host::AudioBuffer& ChainPipeline::finished()
{
    m_taken = m_queues.back()->pop();
    Slot& slot = *m_slots[size_t(m_taken)];
    if (slot.error)
        std::rethrow_exception(slot.error);
    if (slot.failed)
        throwOnFailure(host::RenderStatus::error);
    return slot.buffers[size_t(slot.current)];
}

void ChainPipeline::release()
{
    m_vacant.push_back(m_taken);
    m_taken = -1;
    --m_underWay;
}

void ChainPipeline::stageLoop(Stage& stage) noexcept
{
    // The engines are made, run and stopped here: on this thread only.
    std::unique_ptr<host::PluginThread> prepared;
    try {
        prepared = m_host.preparePluginThread();
        for (size_t i = stage.first; i < stage.end; ++i)
            stage.engines.push_back(std::make_unique<PluginEngine>(m_host, *m_instances[i], int(i),
                                                                   m_format, m_maxFrames));
    } catch (...) {
        stage.failure = std::current_exception();
    }
    for (;;) {
        const int number = stage.in->pop();
        if (number >= 0 && !m_abandoned.load(std::memory_order_relaxed))
            runStage(stage, *m_slots[size_t(number)]);
        stage.out->push(number);
        if (number < 0)
            break;
    }
    stage.engines.clear();
}

void ChainPipeline::runStage(Stage& stage, Slot& slot) noexcept
{
    if (slot.failed)
        return;
    if (stage.failure) {
        slot.error = stage.failure;
        slot.failed = true;
        return;
    }
    try {
        for (const auto& engine : stage.engines) {
            const host::AudioBuffer& input = slot.buffers[size_t(slot.current)];
            const host::RenderStatus status =
                engine->render(input, slot.buffers[size_t(1 - slot.current)]);
            slot.current = 1 - slot.current;
            if (status != host::RenderStatus::success &&
                status != host::RenderStatus::insufficientInput) {
                slot.failed = true;
                return;
            }
        }
    } catch (...) {
        slot.error = std::current_exception();
        slot.failed = true;
    }
}

} // namespace tolvex::render
