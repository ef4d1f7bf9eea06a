// Deflate data in zlib's wrapper, expanded through zlib's inflate (TIFF
// strips, PNG image data, Paint Shop Pro channels).
#pragma once

#include <cstdint>

#include <zlib.h>

#include "codecs/decoders.h"

class TLZ77Decoder : public TDecoder {
public:
    // FlushMode is handed to every inflate call (Z_PARTIAL_FLUSH, Z_FINISH...);
    // AutoReset starts a new stream at every Decode (one stream per strip).
    // Without CheckValue the stream's check value is neither computed nor
    // compared: for readers that show what a stream decodes to whatever its
    // check says, and would otherwise spend a tenth of the time on it.
    TLZ77Decoder(int32_t FlushMode, bool AutoReset, bool CheckValue = true);
    ~TLZ77Decoder() override;

    // Inflates at most PackedSize bytes from Source into at most UnpackedSize
    // bytes at Dest, and moves Source and Dest past what was consumed and
    // produced. A failing inflate raises nothing: it stays in Status, and
    // without AutoReset later calls then do nothing.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    // Starts inflating with a 15-bit window; failure raises 65230.
    void DecodeInit() override;
    // Ends inflating; failure raises 65230.
    void DecodeEnd() override;
    void Encode(void*, void*, int32_t, int32_t&) override {}

    // The most output bytes a packed byte can give: a match of 258 bytes
    // from a one-bit length and a one-bit distance code.
    static constexpr uint64_t MostUnpackedPerByte = 1032;

    // Input bytes of the last Decode not consumed yet, output bytes still free.
    uint32_t AvailableInput() const { return stream_.avail_in; }
    uint32_t AvailableOutput() const { return stream_.avail_out; }
    // zlib's result of the last call (Z_OK, Z_STREAM_END, or an error).
    int32_t Status() const { return status_; }

private:
    z_stream stream_{};
    int32_t status_ = Z_OK;
    int32_t flushMode_;
    bool autoReset_;
    bool checkValue_;
    bool open_ = false;
};
