// What the picture benchmarks share: timing our reader and timing ImageMagick
// (a whole convert process) on the same file of side x side pixels.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "support/imagemagick.h"

// Loads the file with TReader once per iteration. With a reason given, the
// benchmark is skipped with it instead.
template <class TReader>
void TimeReader(benchmark::State& state, const std::string& file, int side, const char* skipReason = nullptr)
{
    if (skipReason) {
        state.SkipWithError(skipReason);
        return;
    }
    for (auto _ : state) {
        TReader picture;
        picture.LoadFromFile(file);
        benchmark::DoNotOptimize(picture.ScanLine(side - 1));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(side) * side);
}

// Runs "convert <file> null:" once per iteration. With a reason given, the
// benchmark is skipped with it instead.
inline void TimeImageMagick(benchmark::State& state, const std::string& file, int side, const char* skipReason)
{
    if (skipReason) {
        state.SkipWithError(skipReason);
        return;
    }
    for (auto _ : state) {
        if (!RunConvert({file, "null:"})) {
            state.SkipWithError("convert failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(side) * side);
}
