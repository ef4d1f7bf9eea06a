// JPEG-compressed TIFF strips and tiles, expanded through libjpeg, with or
// without the file's shared JPEG tables.
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include "codecs/decoders.h"

struct TImageProperties;

// The warning boxes a picture has shown (libjpeg's codes, and whether the
// box of data that ends early was shown).
struct TJPEGNotices {
    std::set<int> warnings;
    bool end = false;
};

class TTIFFJPEGDecoder : public TDecoder {
public:
    // Keeps the reader's properties (not owned): they say which strip or tile
    // comes next and what size it must have; their JPEGTables, when not
    // empty, are the shared tables. Decoders of one picture's planes, which
    // decode side by side, share their notices.
    explicit TTIFFJPEGDecoder(TImageProperties* Properties, std::shared_ptr<TJPEGNotices> Notices = nullptr);
    ~TTIFFJPEGDecoder() override;

    // Creates the decompressor and reads the shared tables (65204 when they
    // are no tables-only stream); no notice has been shown yet.
    void DecodeInit() override;
    // Decodes one strip or tile of PackedSize bytes into UnpackedSize bytes
    // at Dest, one row after the other; neither pointer is moved. The data
    // must have the size, component count, precision and sampling the
    // properties expect (65200 to 65203); UnpackedSize must be whole rows
    // (65205). Data that ends early is completed as an ended image after a
    // warning box; that box and each of libjpeg's warnings are shown once
    // from DecodeInit to DecodeEnd. libjpeg's fatal errors raise
    // ECodecCompression with its own message.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    // Decode in steps, a few rows at a time: StartStrip reads the header of
    // the strip or tile at Source (which must stay there until EndStrip) and
    // checks it, ReadRows decodes its next rows into UnpackedSize bytes at
    // Dest, EndStrip ends it. Errors and notices as Decode's.
    void StartStrip(const void* Source, int32_t PackedSize);
    void ReadRows(void* Dest, int32_t UnpackedSize);
    void EndStrip();
    // Destroys the decompressor.
    void DecodeEnd() override;
    void Encode(void*, void*, int32_t, int32_t&) override {}

    uint16_t HSampling() const { return hSampling_; }
    uint16_t VSampling() const { return vSampling_; }
    // Bytes of one decoded row of the last strip or tile.
    uint32_t BytesPerRow() const { return bytesPerRow_; }

    struct TState;

private:
    TImageProperties* properties_;
    std::shared_ptr<TJPEGNotices> notices_;
    std::unique_ptr<TState> state_;
    uint16_t hSampling_ = 1;
    uint16_t vSampling_ = 1;
    uint32_t bytesPerRow_ = 0;
};
