#include "engine/channel_map.h"

namespace {
constexpr ChannelMap arrangements[channelArrangementCount] = {
    {0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0},
};
} // namespace

ChannelMap channelMapFor(std::uint8_t psychedeliaLevel) {
    if (psychedeliaLevel >= channelArrangementCount)
        psychedeliaLevel = channelArrangementCount - 1;
    return arrangements[psychedeliaLevel];
}
