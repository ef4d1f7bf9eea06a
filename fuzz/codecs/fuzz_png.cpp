// PNG pictures from arbitrary bytes: loading may fail with an error,
// never read or write outside a buffer nor take unbounded memory.
#include "codecs/png.h"
#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PrepareFuzzing();
    FuzzLoad<TPNGGraphic>(data, size);
    return 0;
}
