// Decoding a 4096 x 4096 RGB PNG (compression level 6) and a 4096 x 4096
// deflate-compressed TIFF, beside ImageMagick reading the same files (a
// whole convert process each). The files are written by ImageMagick; the
// same TIFF in PackBits strips of one row each is written by tiffcp, its
// 4096 strips each read as their decoder takes their bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "codecs/png.h"
#include "codecs/tiff.h"
#include "picture_bench.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSide = 4096;

struct TFiles {
    TempDir dir;
    std::string png = dir.file("picture.png");
    std::string tiff = dir.file("picture.tif");
    std::string packBits = dir.file("packbits.tif");
    bool ok = false;
    TFiles()
    {
        if (ConvertProgram().empty()) return;
        const std::string source = dir.file("source.ppm");
        WritePpm(source, kSide, kSide, TestPatternRgb(kSide, kSide));
        ok = RunConvert({source, "-depth", "8", "-define", "png:compression-level=6", "PNG24:" + png}) &&
             RunConvert({source, "-depth", "8", "-compress", "Zip", tiff}) &&
             std::system(("export PATH=/usr/bin:/bin; tiffcp -c packbits -r 1 " + tiff + " " + packBits).c_str()) == 0;
    }
};

const TFiles& Files()
{
    static TFiles files;
    return files;
}

// Without ImageMagick there are no pictures to read.
const char* NoFiles()
{
    return Files().ok ? nullptr : "ImageMagick's convert and tiffcp are needed to write the pictures";
}

void BM_DecodePNG(benchmark::State& state) { TimeReader<TPNGGraphic>(state, Files().png, kSide, NoFiles()); }
void BM_ImageMagickPNG(benchmark::State& state) { TimeImageMagick(state, Files().png, kSide, NoFiles()); }
void BM_DecodeDeflateTIFF(benchmark::State& state) { TimeReader<TTIFFGraphic>(state, Files().tiff, kSide, NoFiles()); }
void BM_ImageMagickDeflateTIFF(benchmark::State& state) { TimeImageMagick(state, Files().tiff, kSide, NoFiles()); }
void BM_DecodePackBitsRowStripsTIFF(benchmark::State& state)
{
    TimeReader<TTIFFGraphic>(state, Files().packBits, kSide, NoFiles());
}

BENCHMARK(BM_DecodePNG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickPNG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeDeflateTIFF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickDeflateTIFF)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodePackBitsRowStripsTIFF)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
