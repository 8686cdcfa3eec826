#include "host/files/ChannelLayout.h"

#include <array>

namespace tolvex::host {

namespace {
constexpr quint64 FL = 1 << 0, FR = 1 << 1, FC = 1 << 2, LFE = 1 << 3, BL = 1 << 4, BR = 1 << 5,
                  BC = 1 << 8, SL = 1 << 9, SR = 1 << 10;
} // namespace

quint64 defaultChannelMask(int channels)
{
    // The same defaults FFmpeg picks for a bare channel count, so WAV, AIFF
    // and M4A outputs of one source agree.
    static constexpr std::array<quint64, 9> masks{
        0,
        FC,
        FL | FR,
        FL | FR | FC,
        FL | FR | FC | BC,
        FL | FR | FC | BL | BR,
        FL | FR | FC | LFE | BL | BR,
        FL | FR | FC | LFE | BC | SL | SR,
        FL | FR | FC | LFE | BL | BR | SL | SR,
    };
    return channels >= 0 && channels < int(masks.size()) ? masks[size_t(channels)] : 0;
}

} // namespace tolvex::host
