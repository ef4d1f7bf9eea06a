// Run-length data of 8-bit bitmaps that walks the column counter past its
// limits, for the bitmap suite and the hostile files bench. It ends neither
// its row nor the bitmap: the caller adds what follows.
#pragma once

#include <cstdint>
#include <vector>

// About 8.5 million runs of 255 pixels of colour 0: the column passes 2^31.
std::vector<uint8_t> Rle8RunsPast2To31();

// Runs that walk the column to just below 2^31, then deltas that would
// carry it round to -8, eight pixels before the row's start.
std::vector<uint8_t> Rle8WalkRoundToMinus8();
