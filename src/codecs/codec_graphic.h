// The base of every picture reader of the codec library: a bitmap that owns
// a colour manager and the properties of the last header it read, and the
// load frame every reader follows.
//
// A reader derives from TCodecGraphic and gives it a static ClassName (for
// the format registry) and replaces ReadImageProperties, CanLoad(stream) and
// LoadFromStream (with `using TCodecGraphic::CanLoad;` to keep the file form). LoadFromStream runs:
//   1. ReleaseHandle();  BasePosition = stream.Position();
//   2. if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {label});
//   3. seek back to BasePosition and read the header into the reader's record;
//   4. set up ColorManager (source from ImageProperties, target BGR/BGRA or
//      indexed), SetPixelFormat(ColorManager.GetPixelFormat(1)), the palette
//      (CreateColorPalette / CreateGrayscalePalette), then SetSize(width, height);
//   5. decode each row and copy it into ScanLine(y) or ColorManager.ConvertRow
//      it there; temporary buffers and decoders are owned by locals, so they
//      go whatever happens.
// Every header value that sizes a buffer or a seek must be checked against
// what the stream and the buffers hold: no read or write may leave them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "codecs/codec_messages.h"
#include "codecs/color_manager.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"

class TStream;

enum TImageCompression : uint8_t {
    ctUnknown = 0,
    ctNone = 1,
    ctRLE = 2,
    ctPackedBits = 3,
    ctLZW = 4,
    ctFax3 = 5,
    ctFaxRLE = 6,
    ctFax4 = 7,
    ctFaxRLEW = 8,
    ctLZ77 = 9,
    ctJPEG = 10,
    ctOJPEG = 11,
    ctThunderscan = 12,
    ctNext = 13,
    ctIT8CTPAD = 14,
    ctIT8LW = 15,
    ctIT8MP = 16,
    ctIT8BL = 17,
    ctPixarFilm = 18,
    ctPixarLog = 19,
    ctDCS = 20,
    ctJBIG = 21,
    ctPCDHuffmann = 22,
};

// Bits of TImageProperties::Options.
enum : uint8_t {
    ioTiled = 1,       // stored in tiles
    ioBigEndian = 2,   // file data is big-endian
    ioMinIsWhite = 4,  // minimum sample value is white
    ioReversed = 8,    // bits of each byte are stored in reversed order
    ioUseGamma = 16,   // the file gamma is applied while loading
};

struct TImageProperties {
    uint32_t Version = 0;
    uint8_t Options = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    TColorScheme ColorScheme = csUnknown;
    uint8_t BitsPerSample = 0;
    uint8_t SamplesPerPixel = 0;
    uint8_t BitsPerPixel = 0;
    TImageCompression Compression = ctUnknown;
    float FileGamma = 1.0f;
    float XResolution = 0;
    float YResolution = 0;
    bool Interlaced = false;
    bool HasAlpha = false;

    // TIFF
    uint32_t FirstIFD = 0;
    uint32_t PlanarConfig = 0;
    uint32_t CurrentRow = 0;
    uint32_t TileWidth = 0;
    uint32_t TileLength = 0;
    uint32_t BytesPerLine = 0;
    std::vector<uint32_t> RowsPerStrip;
    std::vector<uint8_t> YCbCrSubSampling;
    std::vector<uint8_t> JPEGTables;
    uint32_t JPEGColorMode = 0;
    uint32_t JPEGTablesMode = 0;
    uint32_t CurrentStrip = 0;
    uint32_t StripCount = 0;
    uint32_t Predictor = 0;

    // Photo-CD
    bool Overview = false;
    uint8_t Rotate = 0;
    uint16_t ImageCount = 0;

    // RLA
    bool BottomUp = false;

    // Photoshop
    uint8_t Channels = 0;

    // PNG
    uint8_t FilterMode = 0;
};

class TCodecGraphic : public TBitmap {
public:
    static constexpr const char* ClassName = "TCodecGraphic";
    TCodecGraphic();
    ~TCodecGraphic() override;

    // Copies the image properties of another codec graphic, then the bitmap.
    void Assign(const TGraphic& source) override;

    // Whether the file holds a picture of this kind (the stream form decides).
    bool CanLoad(const std::string& fileName);
    // Tests the signature at the stream's position and puts the stream back.
    virtual bool CanLoad(TStream& stream);
    // Clears ImageProperties (FileGamma 1.0) and returns false; readers call
    // it first, then parse their header from the stream's position.
    virtual bool ReadImageProperties(TStream& stream, unsigned ImageIndex);

    TColorManager ColorManager;
    TImageProperties ImageProperties;
    int64_t BasePosition = 0;
    TStream* Stream = nullptr;
    // Bytes of the sample buffers the last load filled beside the bitmap
    // (the channel planes of the Paint Shop Pro and Photoshop readers, the
    // row buffers of the Photoshop, PNG and portable map readers), counted
    // each time a buffer is filled anew or grows; the base
    // ReadImageProperties sets it to 0. It tells how much memory and
    // clearing a file's claims cost, which must follow what its data can
    // fill.
    int64_t SampleBufferBytes = 0;
};

// Raises EInvalidGraphic with the message, "%s" filled with the arguments.
[[noreturn]] void CodecError(const std::string& message);
[[noreturn]] void CodecError(const std::string& message, std::initializer_list<std::string> args);
[[noreturn]] void CodecError(uint16_t messageId, std::initializer_list<std::string> args = {});

// Runs a reader's load under the work meter of the load (see
// platform/rtl/work_meter.h), for the bytes from the stream's position on: a
// file that spends its allowance is refused as an invalid picture of the
// reader's kind (label).
template <class FLoad>
void LoadMetered(TStream& stream, const char* label, FLoad&& load)
{
    const int64_t remaining = stream.Size() - stream.Position();
    MeteredLoad(static_cast<uint64_t>(std::max<int64_t>(remaining, 0)), load,
                [label] { CodecError(gesInvalidImage, {label}); });
}

// Byte order helpers: swap each of count 16-bit or 32-bit values in place.
void SwapShort(uint16_t* values, uint32_t count);
void SwapLong(uint32_t* values, uint32_t count);
uint32_t SwapLong(uint32_t value);

// Undo horizontal differencing on one row, for 1, 3 and 4 bytes per pixel;
// count is the number of pixels after the first.
void Depredict1(uint8_t* row, uint32_t count);
void Depredict3(uint8_t* row, uint32_t count);
void Depredict4(uint8_t* row, uint32_t count);
