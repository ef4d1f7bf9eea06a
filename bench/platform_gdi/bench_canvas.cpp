// Speed of copying and stretching between bitmaps: the block copy of a
// viewer's picture, a stretch within one pixel format, a stretch that
// converts an indexed texture, and a draw that leaves a colour out.
#include <benchmark/benchmark.h>

#include <memory>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"

namespace {

std::unique_ptr<TBitmap> Filled(TPixelFormat format, int side)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    if (format == pf8bit) {
        TLogPalette log;
        for (int i = 0; i < 256; ++i)
            log.entries.push_back(TPaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0});
        b->SetPalette(CreatePalette(log));
    }
    b->SetSize(side, side);
    for (int y = 0; y < side; ++y) {
        uint8_t* row = b->ScanLine(y);
        for (int i = 0; i < b->RowBytes(); ++i) row[i] = static_cast<uint8_t>(i * 31 + y * 17);
    }
    return b;
}

void Stretch(benchmark::State& state, TPixelFormat from, TPixelFormat to, int sourceSide, int destSide,
             bool transparent)
{
    const auto source = Filled(from, sourceSide);
    const auto dest = Filled(to, destSide);
    const TColor leftOut = source->GetPixel(1, 1);
    for (auto _ : state) {
        StretchBitmap(*dest, Rect(0, 0, destSide, destSide), *source, Rect(0, 0, sourceSide, sourceSide),
                      transparent ? &leftOut : nullptr);
        benchmark::DoNotOptimize(dest->ScanLine(0));
    }
}

void BM_BlockCopy(benchmark::State& state) { Stretch(state, pf24bit, pf24bit, 1024, 1024, false); }
void BM_StretchSameFormat(benchmark::State& state) { Stretch(state, pf32bit, pf32bit, 256, 1024, false); }
void BM_StretchIndexedTo24(benchmark::State& state) { Stretch(state, pf8bit, pf24bit, 256, 1024, false); }
void BM_DrawTransparent(benchmark::State& state) { Stretch(state, pf24bit, pf32bit, 512, 512, true); }

BENCHMARK(BM_BlockCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StretchSameFormat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StretchIndexedTo24)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawTransparent)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
