#include "support/rle8_walks.h"

#include <algorithm>

std::vector<uint8_t> Rle8RunsPast2To31()
{
    std::vector<uint8_t> d;
    d.reserve(17000000);
    for (int i = 0; i < 8500000; ++i) d.insert(d.end(), {0xFF, 0});
    return d;
}

std::vector<uint8_t> Rle8WalkRoundToMinus8()
{
    const int64_t runs = 0x7FFFFFFF / 255;
    const int64_t deltas = (int64_t(1) << 32) - 8 - runs * 255;
    std::vector<uint8_t> d;
    d.reserve(static_cast<size_t>(runs * 2 + (deltas / 255 + 1) * 4));
    for (int64_t i = 0; i < runs; ++i) d.insert(d.end(), {0xFF, 0});
    for (int64_t left = deltas; left > 0; left -= 255)
        d.insert(d.end(), {0, 2, static_cast<uint8_t>(std::min<int64_t>(left, 255)), 0});
    return d;
}
