// Photoshop pictures (".psd", ".pdd"): the merged image of the file, stored
// as one plane per channel, raw or PackBits compressed, in bitmap, gray,
// duotone, indexed, RGB, multichannel, CMYK or Lab mode with 1, 8 or 16
// bits per channel. All numbers in the file are big-endian.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "codecs/codec_graphic.h"

class TPSDGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TPSDGraphic";

    using TCodecGraphic::CanLoad;
    // More than the header remains, the signature is "8BPS" in any case and
    // the version is 1.
    bool CanLoad(TStream& stream) override;
    // Parses the header and the section lengths up to the compression word
    // (the version is not tested).
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;

    // Packed planes are read a window of their data at a time, as they are
    // unpacked: a window holds at most this many bytes, so that a load holds
    // a few of them beside the bitmap, however much packed data the file has.
    static constexpr uint64_t PackedWindowBytes = uint64_t(1) << 20;

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
    // The steps of the load after the header; the image data (for packed
    // data the table of row lengths) of `channels` channels follows at the
    // stream's position.
    void ReadColorModeData(TStream& stream);
    // Gray and indexed pictures: the rows of the first channel.
    void ReadOnePlane(TStream& stream, uint32_t channels);
    bool RowsAreDirect() const;
    void ReadPackedPlaneRows(TStream& stream, uint32_t channels, uint32_t rowBytes);
    void ReadRawPlaneRows(TStream& stream, uint32_t rowBytes);
    // Colour pictures: planes (1 to 4) of the channels, which are no fewer.
    void ReadColorPlanes(TStream& stream, int planes, uint32_t channels);
    // Rows [0, rows) of the planes, a band at a time: bandRows whole rows, or
    // a strip of stripPixels pixels of one row when a row of every plane
    // takes more than a band. fill (plane, first row, row count, first
    // column, pixel count, target) gives each band's samples.
    using TBandFill = std::function<void(size_t, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t*)>;
    void ConvertBands(int planes, uint32_t rows, uint32_t bandRows, uint32_t stripPixels, std::vector<uint8_t>& band,
                      const TBandFill& fill);
};

#pragma pack(push, 1)
// The file header as stored (big-endian fields).
struct TPSDHeader {
    char Signature[4];
    uint16_t Version;
    uint8_t Reserved[6];
    uint16_t Channels;
    uint32_t Rows;
    uint32_t Columns;
    uint16_t Depth;
    uint16_t Mode;
};
#pragma pack(pop)
static_assert(sizeof(TPSDHeader) == 26);

// Colour modes of the header.
enum : uint16_t {
    psdBitmap = 0,
    psdGrayscale = 1,
    psdIndexed = 2,
    psdRGB = 3,
    psdCMYK = 4,
    psdMultichannel = 7,
    psdDuotone = 8,
    psdLab = 9,
};
