#include "host/lv2/ChannelShape.h"

#include <algorithm>

namespace tolvex::host {

ChannelShape::ChannelShape(int inputs, int outputs, int channels)
    : m_inputs(inputs), m_outputs(outputs), m_channels(channels),
      m_perChannel(inputs == 1 && outputs == 1),
      m_direct(m_perChannel || (inputs == channels && outputs == channels))
{}

ChannelShape::Feed ChannelShape::feed(int input) const
{
    if (m_channels == 1)
        return {Feed::Kind::channel, 0};
    if (m_inputs == 1)
        return {Feed::Kind::mean, 0};
    if (input < m_channels)
        return {Feed::Kind::channel, input};
    return {Feed::Kind::silence, 0};
}

int ChannelShape::source(int channel) const
{
    if (m_channels == 1 && m_outputs >= 2)
        return meanOfTwo;
    return std::min(channel, m_outputs - 1);
}

} // namespace tolvex::host
