// The Photoshop, SGI, RLA, PCX, CUT, Autodesk, Photo-CD and portable map
// readers, the CUT palette file and the Photo-CD decoder from arbitrary
// bytes: the first byte chooses what reads the rest. Loading may fail with
// an error, never read or write outside a buffer.
#include <cstdint>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <vector>

#include "codecs/autodesk.h"
#include "codecs/cut.h"
#include "codecs/pcd.h"
#include "codecs/pcd_decoder.h"
#include "codecs/pcx.h"
#include "codecs/ppm.h"
#include "codecs/psd.h"
#include "codecs/rla.h"
#include "codecs/sgi.h"
#include "platform/rtl/classes.h"

namespace {

void LoadWith(TCodecGraphic& picture, const uint8_t* data, size_t size)
{
    TMemoryStream in(data, size);
    picture.CanLoad(in);
    if (in.Position() != 0) __builtin_trap();  // CanLoad puts the stream back
    picture.LoadFromStream(in);
}

// A Photo-CD pack around the bytes: the first ones fill the header sectors
// (with a signature), the rest the base image, zeros after them.
void LoadPaddedPack(const uint8_t* data, size_t size)
{
    const bool overview = size > 0 && (data[0] & 1);
    const size_t imageStart = (overview ? 5 : 96) * 2048;
    std::vector<uint8_t> pack(imageStart + 768 * 512 * 3 / 2, 0);
    const size_t header = std::min<size_t>(size, 6144);
    std::memcpy(pack.data(), data, header);
    std::memcpy(overview ? pack.data() : pack.data() + 2048, overview ? "PCD_OPA" : "PCD", overview ? 7 : 3);
    std::memcpy(pack.data() + imageStart, data + header, std::min(size - header, pack.size() - imageStart));
    TPCDGraphic picture;
    LoadWith(picture, pack.data(), pack.size());
}

void Decode(const uint8_t* data, size_t size)
{
    if (size < 2) return;
    const int32_t width = 1 + data[0] * 16;  // one table up to 1536, three above
    const int32_t rows = 1 + data[1] % 64;
    std::vector<uint8_t> luma(size_t(width) * rows), chroma1(size_t(width) * ((rows + 1) / 2)), chroma2(chroma1.size());
    uint8_t* planes[3] = {luma.data(), chroma1.data(), chroma2.data()};
    TMemoryStream in(data + 2, size - 2);
    TPCDDecoder decoder(in);
    void* source = planes;
    void* dest = nullptr;
    decoder.Decode(source, dest, width, rows);
}

template <class TReader>
void LoadAs(const uint8_t* data, size_t size)
{
    TReader picture;
    LoadWith(picture, data, size);
}

void ReadPalette(const uint8_t* data, size_t size)
{
    TMemoryStream in(data, size);
    ReadCUTPalette(in);
}

// What the first byte chooses, by its remainder.
constexpr void (*kReaders[])(const uint8_t*, size_t) = {
    LoadAs<TPSDGraphic>,
    LoadAs<TSGIGraphic>,
    LoadAs<TRLAGraphic>,
    LoadAs<TPCXGraphic>,
    LoadAs<TCUTGraphic>,
    ReadPalette,
    LoadAs<TAutodeskGraphic>,
    LoadAs<TPCDGraphic>,
    LoadPaddedPack,
    LoadAs<TPPMGraphic>,
    Decode,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    BitmapMemoryLimit = 8 << 20;
    const uint8_t kind = data[0] % std::size(kReaders);
    try {
        kReaders[kind](data + 1, size - 1);
    } catch (const std::exception&) {
    }
    return 0;
}
