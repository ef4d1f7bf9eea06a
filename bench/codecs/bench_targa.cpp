// Decoding 4096 x 4096 run-length Truevision pictures of 24 and 32 bits,
// beside ImageMagick reading the same files (a whole convert process each).
#include <benchmark/benchmark.h>

#include <memory>

#include "codecs/targa.h"
#include "picture_bench.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSide = 4096;

struct TFiles {
    TempDir dir;
    std::string file24 = dir.file("picture24.tga");
    std::string file32 = dir.file("picture32.tga");
    TFiles()
    {
        const std::vector<uint8_t> rgb = TestPatternRgb(kSide, kSide);
        for (TPixelFormat format : {pf24bit, pf32bit}) {
            TTargaGraphic picture;
            picture.SetPixelFormat(format);
            picture.SetSize(kSide, kSide);
            const int bytes = format == pf24bit ? 3 : 4;
            for (int y = 0; y < kSide; ++y) {
                uint8_t* row = picture.ScanLine(y);
                for (int x = 0; x < kSide; ++x) {
                    const uint8_t* p = &rgb[(static_cast<size_t>(y) * kSide + x) * 3];
                    row[bytes * x] = p[2];
                    row[bytes * x + 1] = p[1];
                    row[bytes * x + 2] = p[0];
                    if (bytes == 4) row[bytes * x + 3] = static_cast<uint8_t>(x < kSide / 2 ? 255 : y);
                }
            }
            TFileStream out(format == pf24bit ? file24 : file32, fmCreate);
            picture.SaveToStream(out, true);
        }
    }
};

const TFiles& Files()
{
    static TFiles files;
    return files;
}

const char* NoConvert() { return ConvertProgram().empty() ? "ImageMagick's convert is not installed" : nullptr; }

void BM_DecodeTarga24(benchmark::State& state) { TimeReader<TTargaGraphic>(state, Files().file24, kSide); }
void BM_DecodeTarga32(benchmark::State& state) { TimeReader<TTargaGraphic>(state, Files().file32, kSide); }
void BM_ImageMagickTarga24(benchmark::State& state) { TimeImageMagick(state, Files().file24, kSide, NoConvert()); }
void BM_ImageMagickTarga32(benchmark::State& state) { TimeImageMagick(state, Files().file32, kSide, NoConvert()); }

BENCHMARK(BM_DecodeTarga24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickTarga24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeTarga32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickTarga32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
