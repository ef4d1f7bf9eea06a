// Wavefront RLA pictures (".rla", ".rpf"): scan lines found through a table
// of offsets, each holding the red, green and blue channels (and a matte
// channel) run-length compressed one after another; big-endian numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/codec_graphic.h"

class TRLAGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TRLAGraphic";

    using TCodecGraphic::CanLoad;
    // More than the header remains, the revision is 0xFFFE and the channel
    // type is "rgb" or "xyz" in any case.
    bool CanLoad(TStream& stream) override;
    // False for any header it cannot parse (a short one, a gamma that is no
    // number, "xyz" colour, an empty active window, a matte channel whose
    // depth differs from the colour channels' when either is above 8 bits).
    // Channels of 9 to 16 bits load scaled to 8 bits.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    // A header that is not understood loads nothing and reports nothing.
    void LoadFromStream(TStream& stream) override;

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
    void SetUpConversion();
    // A channel's record: where its packed bytes start (after their 16-bit
    // length), and how many there are.
    struct TRecord {
        int64_t Data;
        uint16_t Length;
    };
    // The rows of the table in the order of their offsets, which is the
    // order their records lie in the file (rows is filled), and the records
    // of the channels of each distinct offset in that order, each offset's
    // walked once.
    std::vector<TRecord> FindRecords(TStream& stream, const std::vector<uint32_t>& offsets, int samples,
                                     std::vector<uint32_t>& rows);
    // The rows, in that order: their channels decoded (or taken from an
    // earlier use of their record) and converted; a row of the offset of the
    // one before it is a copy of it.
    void ReadRows(TStream& stream, const std::vector<TRecord>& records, const std::vector<uint32_t>& offsets,
                  const std::vector<uint32_t>& rows, int samples);
};

#pragma pack(push, 1)
// The file header as stored (big-endian fields).
struct TRLAHeader {
    int16_t Window[4];
    int16_t ActiveLeft;
    int16_t ActiveRight;
    int16_t ActiveBottom;
    int16_t ActiveTop;
    int16_t Frame;
    int16_t StorageType;
    int16_t NumChannels;
    int16_t NumMatte;
    int16_t NumAux;
    uint16_t Revision;
    char Gamma[16];
    char RedPri[24];
    char GreenPri[24];
    char BluePri[24];
    char WhitePt[24];
    int32_t JobNumber;
    char Name[128];
    char Desc[128];
    char Program[64];
    char Machine[32];
    char User[32];
    char Date[20];
    char Aspect[24];
    char AspectRatio[8];
    char Chan[32];
    int16_t Field;
    char Time[12];
    char Filter[32];
    int16_t ChanBits;
    int16_t MatteType;
    int16_t MatteBits;
    int16_t AuxType;
    int16_t AuxBits;
    char Aux[32];
    char Space[36];
    int32_t Next;
};
#pragma pack(pop)
static_assert(sizeof(TRLAHeader) == 740);
static_assert(offsetof(TRLAHeader, Chan) == 580);
static_assert(offsetof(TRLAHeader, ChanBits) == 658);
