#include "render/ChainCalibration.h"

#include "render/ChainBuffers.h"
#include "render/RenderError.h"

#include <algorithm>
#include <chrono>

namespace tolvex::render {

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

ChainCalibration::ChainCalibration(host::AudioHost& host,
                                   const std::vector<host::PluginInstance*>& instances,
                                   const host::AudioFormat& format, qint64 maxFrames)
{
    for (int i = 0; i < 2; ++i)
        m_buffers.push_back(makeRenderBuffer(format, maxFrames));
    m_secondsPerFrame.resize(instances.size());
    for (size_t i = 0; i < instances.size(); ++i)
        m_engines.push_back(
            std::make_unique<PluginEngine>(host, *instances[i], int(i), format, maxFrames));
}

void ChainCalibration::measure(const host::AudioBuffer& block)
{
    const qint64 frames = block.frameLength();
    const host::AudioBuffer* current = &block;
    for (size_t i = 0; i < m_engines.size(); ++i) {
        host::AudioBuffer& target = m_buffers[i % 2];
        const auto began = std::chrono::steady_clock::now();
        throwOnFailure(m_engines[i]->render(*current, target));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
        if (frames > 0)
            m_secondsPerFrame[i].push_back(took.count() / double(frames));
        current = &target;
    }
}

std::vector<double> ChainCalibration::costs() const
{
    std::vector<double> costs;
    for (const auto& measured : m_secondsPerFrame)
        costs.push_back(median(measured));
    return costs;
}

} // namespace tolvex::render
