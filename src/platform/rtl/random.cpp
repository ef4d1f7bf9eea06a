#include "platform/rtl/random.h"

uint32_t RandSeed = 0;

namespace {
uint32_t NextSeed()
{
    RandSeed = RandSeed * 0x08088405u + 1u;
    return RandSeed;
}
}  // namespace

int32_t Random(int32_t range)
{
    const uint32_t s = NextSeed();
    if (range <= 0) return 0;
    return static_cast<int32_t>((static_cast<uint64_t>(s) * static_cast<uint32_t>(range)) >> 32);
}

double RandomFloat() { return static_cast<double>(NextSeed()) / 4294967296.0; }
