// The process-wide pseudo-random generator. The program never seeds it, so
// every run draws the same sequence (a linear congruential generator
// starting from seed 0).
#pragma once

#include <cstdint>

extern uint32_t RandSeed;

// A number in 0 .. range-1 (0 when range <= 0).
int32_t Random(int32_t range);
// A number in [0, 1).
double RandomFloat();
