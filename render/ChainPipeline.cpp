#include "render/ChainPipeline.h"

#include "render/ChainBuffers.h"
#include "render/RenderError.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <numeric>

namespace tolvex::render {

namespace {

/// Buffers that go round, per plugin (and so at least per stage): one in a
/// stage's hands, the others waiting before it or after it, so that uneven
/// blocks do not stall it.
constexpr int slotsPerPlugin = 4;

host::AudioBuffer makeBuffer(const host::AudioFormat& format, qint64 frames)
{
    auto buffer = host::AudioBuffer::make(format, frames);
    if (!buffer)
        throw RenderError(QStringLiteral("Kein Speicher für den Export."));
    return std::move(*buffer);
}

/// Where runs of consecutive costs begin, at most `parts` of them, such that
/// the dearest run costs as little as possible.
std::vector<size_t> splitByCost(const std::vector<double>& costs, size_t parts)
{
    const size_t n = costs.size();
    parts = std::clamp<size_t>(parts, 1, n);
    std::vector<double> prefix(n + 1, 0.0);
    std::partial_sum(costs.begin(), costs.end(), prefix.begin() + 1);
    // best[k][i]: the dearest run when the first i costs go into k runs.
    const double none = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> best(parts + 1, std::vector<double>(n + 1, none));
    std::vector<std::vector<size_t>> cut(parts + 1, std::vector<size_t>(n + 1, 0));
    best[0][0] = 0;
    for (size_t k = 1; k <= parts; ++k)
        for (size_t i = k; i <= n; ++i)
            for (size_t j = k - 1; j < i; ++j) {
                const double dearest = std::max(best[k - 1][j], prefix[i] - prefix[j]);
                if (dearest < best[k][i]) {
                    best[k][i] = dearest;
                    cut[k][i] = j;
                }
            }
    std::vector<size_t> starts(parts);
    for (size_t k = parts, i = n; k > 0; --k) {
        i = cut[k][i];
        starts[k - 1] = i;
    }
    return starts;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

/// One plugin in its own engine; `feed` is what the engine reads next.
struct ChainPipeline::Step {
    ~Step()
    {
        if (started)
            engine->stop();
    }

    std::unique_ptr<host::OfflineEngine> engine;
    const host::AudioBuffer* feed = nullptr;
    bool started = false;
    std::vector<double> secondsPerFrame; ///< measured by renderHere
};

/// A block on its way: two buffers, the one holding the block and the one
/// the next plugin writes into, and what went wrong on the way.
struct ChainPipeline::Slot {
    std::vector<host::AudioBuffer> buffers;
    int current = 0;
    bool failed = false;
    std::exception_ptr error;
};

struct ChainPipeline::Stage {
    size_t first = 0;
    size_t end = 0;
    BlockQueue* in = nullptr;
    BlockQueue* out = nullptr;
    std::thread thread;
};

ChainPipeline::ChainPipeline(host::AudioHost& host,
                             const std::vector<host::PluginInstance*>& instances,
                             const host::AudioFormat& format, qint64 maxFrames)
{
    for (size_t i = 0; i < instances.size(); ++i) {
        auto step = std::make_unique<Step>();
        Step& made = *step;
        m_steps.push_back(std::move(step));
        made.engine = host.makeOfflineEngine();
        host::OfflineEngine& engine = *made.engine;
        engine.enableManualRendering(format, maxFrames);
        engine.setChainPosition(int(i));
        if (!engine.setManualRenderingInput(format, [&made](qint64) { return made.feed; }))
            throw RenderError(QStringLiteral("Export lässt sich nicht vorbereiten."));
        engine.attach(*instances[i]);
        engine.connect(engine.inputNode(), *instances[i], format);
        engine.connect(*instances[i], engine.mainMixer(), format);
        engine.start();
        made.started = true;
    }
    for (int i = 0; i < 2; ++i)
        m_here.push_back(makeBuffer(format, maxFrames));
    for (size_t i = 0; i < size_t(slotsPerPlugin) * m_steps.size(); ++i) {
        auto slot = std::make_unique<Slot>();
        for (int b = 0; b < 2; ++b)
            slot->buffers.push_back(makeBuffer(format, maxFrames));
        m_slots.push_back(std::move(slot));
    }
}

ChainPipeline::~ChainPipeline()
{
    if (!m_stages.empty()) {
        m_abandoned.store(true, std::memory_order_relaxed);
        m_queues.front()->push(-1);
        for (auto& stage : m_stages)
            if (stage->thread.joinable()) // all but those whose start failed
                stage->thread.join();
    }
    // The engines stop with their steps, after the threads that ran them.
}

const host::AudioBuffer& ChainPipeline::renderHere(const host::AudioBuffer& input)
{
    const qint64 frames = input.frameLength();
    const host::AudioBuffer* current = &input;
    for (size_t i = 0; i < m_steps.size(); ++i) {
        Step& step = *m_steps[i];
        host::AudioBuffer& target = m_here[i % 2];
        step.feed = current;
        const auto began = std::chrono::steady_clock::now();
        throwOnFailure(step.engine->render(frames, target));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        if (frames > 0)
            step.secondsPerFrame.push_back(took.count() / double(frames));
        current = &target;
    }
    return *current;
}

void ChainPipeline::start(int threads)
{
    std::vector<double> costs;
    for (const auto& step : m_steps)
        costs.push_back(median(step->secondsPerFrame));
    // Without measurements every plugin counts the same.
    if (std::all_of(costs.begin(), costs.end(), [](double cost) { return cost <= 0; }))
        std::fill(costs.begin(), costs.end(), 1.0);
    const std::vector<size_t> starts = splitByCost(costs, size_t(std::max(threads, 1)));
    const size_t count = starts.size();
    // Enough room in every queue for all the slots and the closing mark.
    for (size_t i = 0; i <= count; ++i)
        m_queues.push_back(std::make_unique<BlockQueue>(m_slots.size() + 1));
    for (int i = int(m_slots.size()) - 1; i >= 0; --i)
        m_vacant.push_back(i);
    for (size_t s = 0; s < count; ++s) {
        auto stage = std::make_unique<Stage>();
        stage->first = starts[s];
        stage->end = s + 1 < count ? starts[s + 1] : m_steps.size();
        stage->in = m_queues[s].get();
        stage->out = m_queues[s + 1].get();
        m_stages.push_back(std::move(stage));
    }
    for (auto& stage : m_stages)
        stage->thread = std::thread(&ChainPipeline::stageLoop, this, std::ref(*stage));
}

std::vector<int> ChainPipeline::stageSizes() const
{
    std::vector<int> sizes;
    for (const auto& stage : m_stages)
        sizes.push_back(int(stage->end - stage->first));
    return sizes;
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

void ChainPipeline::runSteps(size_t first, size_t end, Slot& slot) noexcept
{
    try {
        for (size_t i = first; i < end && !slot.failed; ++i) {
            Step& step = *m_steps[i];
            const host::AudioBuffer& input = slot.buffers[size_t(slot.current)];
            step.feed = &input;
            const host::RenderStatus status =
                step.engine->render(input.frameLength(), slot.buffers[size_t(1 - slot.current)]);
            slot.current = 1 - slot.current;
            slot.failed = status != host::RenderStatus::success &&
                          status != host::RenderStatus::insufficientInput;
        }
    } catch (...) {
        slot.error = std::current_exception();
        slot.failed = true;
    }
}

void ChainPipeline::stageLoop(Stage& stage) noexcept
{
    for (;;) {
        const int number = stage.in->pop();
        if (number >= 0 && !m_abandoned.load(std::memory_order_relaxed))
            runSteps(stage.first, stage.end, *m_slots[size_t(number)]);
        stage.out->push(number);
        if (number < 0)
            return;
    }
}

} // namespace tolvex::render
