// The decoder protocol of the image codecs and the byte-oriented run-length
// decoders.
//
// A reader creates a decoder, calls DecodeInit, then Decode once per row,
// strip or block, then DecodeEnd. Source points at the compressed bytes,
// Dest at the output; PackedSize is the number of compressed bytes there,
// UnpackedSize the amount of output wanted. Each decoder below says what the
// sizes count and whether it moves Source or Dest on. Every decoder of this
// file keeps its reads within PackedSize bytes and its writes within the
// output asked for, whatever the data; none of them raises on bad data (the
// picture simply comes out wrong).
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

// The error of decoders that give up (the library-backed ones).
class ECodecCompression : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void CompressionError(const std::string& message);

class TDecoder {
public:
    TDecoder() = default;
    virtual ~TDecoder() = default;
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    virtual void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) = 0;
    virtual void DecodeEnd() {}
    virtual void DecodeInit() {}
    virtual void Encode(void* Source, void* Dest, int32_t Count, int32_t& BytesStored) = 0;
    virtual void EncodeInit() {}
    virtual void EncodeEnd() {}
};

// Bytes of one Truevision pixel of the colour depth (8, 15, 16, 24 or 32
// bits); 0 for any other depth.
int TargaPixelSize(int32_t depth);

// Steps of the Truevision encoder over the Count pixels (Size bytes each,
// 1 to 4) that start at Pixels, Count at least 1. A packet holds at most 128
// pixels, so both run lengths stop there.
// The pixel as a number, its bytes read most significant first.
uint32_t PixelValue(const uint8_t* Pixel, int Size);
// 1 for a lone pixel; else the pixels that differ from the one after them,
// up to the first that equals it (so the last pixel never counts).
int32_t LiteralRunLength(const uint8_t* Pixels, int32_t Count, int Size);
// The first pixel and those after it that equal it.
int32_t RepeatRunLength(const uint8_t* Pixels, int32_t Count, int Size);

// Truevision run-length packets of whole pixels (1, 2, 3 or 4 bytes for
// depths 8, 15/16, 24 and 32; other depths decode nothing).
// Decode: UnpackedSize counts pixels, PackedSize input bytes; Source is moved
// past the bytes consumed, Dest is not moved. A packet that the end of the
// requested pixels cuts is carried over: the next Decode continues it, so rows
// whose packets cross row ends decode as one stream.
// Encode: Count pixels from Source into Dest (which must hold twice the
// pixels' bytes); BytesStored is the number of bytes written.
class TTargaRLEDecoder : public TDecoder {
public:
    explicit TTargaRLEDecoder(int32_t ColorDepth);
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void* Source, void* Dest, int32_t Count, int32_t& BytesStored) override;
    int32_t ColorDepth() const { return colorDepth_; }

private:
    int32_t colorDepth_;
    // The packet left unfinished by the previous Decode.
    int32_t pendingCount_ = 0;
    bool pendingRun_ = false;
    uint8_t pendingPixel_[4] = {0, 0, 0, 0};
};

// PackBits (TIFF, Photoshop). Both sizes count bytes; Source and Dest are not moved.
// With CarryOver, Source is moved past the bytes consumed and a packet that
// the end of the output cuts is carried over: the next Decode continues it,
// so a strip decoded a few rows at a time gives the bytes of one Decode.
// DecodeInit then starts a new stream.
class TPackbitsRLEDecoder : public TDecoder {
public:
    // Where the stream goes on once the bytes given run out: sets data and
    // size to its next bytes, or returns false at its end.
    using TMoreInput = std::function<bool(uint8_t*& data, int32_t& size)>;

    explicit TPackbitsRLEDecoder(bool CarryOver = false) : carryOver_(CarryOver) {}
    // The most output bytes a packed byte can give: a run gives 128 bytes for two.
    static constexpr uint64_t MostUnpackedPerByte = 64;
    // With MoreInput set, Decode takes the stream's next bytes from it
    // whenever those given run out, and stops only when the output is full
    // or the stream ends; Source is left in the bytes given last.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void DecodeInit() override { pendingCount_ = 0; }
    void Encode(void*, void*, int32_t, int32_t&) override {}
    void SetMoreInput(TMoreInput more) { more_ = std::move(more); }
    // Passes over the next UnpackedSize bytes of output as Decode would give
    // them, without writing them: a packet costs the same whatever its
    // length, so that passing over a stream costs what its packets are.
    void Skip(void*& Source, int32_t PackedSize, int32_t UnpackedSize);
    // Goes on with the stream where another decoder stands in it: with the
    // packet that decoder left over (a literal's bytes are in the input from
    // where that decoder's Source stands), so that one stream can be decoded
    // on from a place by several decoders.
    void ContinueFrom(const TPackbitsRLEDecoder& other)
    {
        pendingCount_ = other.pendingCount_;
        pendingRun_ = other.pendingRun_;
        pendingByte_ = other.pendingByte_;
    }

private:
    // Decode, or with Write false Skip.
    template <bool Write>
    void Unpack(void*& Source, uint8_t* dst, int32_t PackedSize, int32_t UnpackedSize);

    bool carryOver_;
    TMoreInput more_;
    // The packet left unfinished by the previous Decode: bytes still to give,
    // and the byte of a run (a literal's bytes are in the input).
    int32_t pendingCount_ = 0;
    bool pendingRun_ = false;
    uint8_t pendingByte_ = 0;
};

// ZSoft PCX. Both sizes count bytes; Source and Dest are not moved.
// With CarryOver, Source is moved past the bytes consumed and a run that the
// end of the output cuts is carried over: the next Decode continues it, so
// that rows decoded one at a time give the bytes of one Decode. DecodeInit
// then starts a new stream.
class TPCXRLEDecoder : public TDecoder {
public:
    explicit TPCXRLEDecoder(bool CarryOver = false) : carryOver_(CarryOver) {}
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void DecodeInit() override { pendingCount_ = 0; }
    void Encode(void*, void*, int32_t, int32_t&) override {}

private:
    bool carryOver_;
    // What is left of the run the previous Decode cut, and its byte.
    int32_t pendingCount_ = 0;
    uint8_t pendingByte_ = 0;
};

// SGI rows of 8- or 16-bit samples, ended by a zero count in the data.
// Both sizes count bytes (16-bit samples stay in file byte order); Source
// and Dest are not moved.
class TSGIRLEDecoder : public TDecoder {
public:
    explicit TSGIRLEDecoder(uint8_t SampleSize);
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}

private:
    uint8_t sampleSize_;
};

// Dr. Halo CUT rows: a 2-byte row length, packets, a zero ending the row.
// Both sizes count bytes; Source is moved past everything consumed (the
// final zero included), Dest is not moved.
class TCUTRLEDecoder : public TDecoder {
public:
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}
};

// Paint Shop Pro channels. Both sizes count bytes; Source and Dest are not
// moved. Decoding stops once the output is full.
class TPSPRLEDecoder : public TDecoder {
public:
    // The most output bytes a packed byte can give: a run gives 127 bytes for two.
    static constexpr uint64_t MostUnpackedPerByte = 64;
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}
    // Input bytes of the last Decode that it did not consume.
    int32_t AvailableInput() const { return availableInput_; }

private:
    int32_t availableInput_ = 0;
};

// Wavefront RLA channels. Both sizes count bytes; Source and Dest are not
// moved. Decoding stops once the output is full.
class TRLADecoder : public TDecoder {
public:
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}
    // Input bytes of the last Decode that it did not consume.
    int32_t AvailableInput() const { return availableInput_; }

private:
    int32_t availableInput_ = 0;
};
