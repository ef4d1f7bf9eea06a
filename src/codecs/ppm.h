// Portable bitmaps, graymaps and pixmaps (".pbm", ".pgm", ".ppm") in their
// text forms (P1, P2, P3) and binary forms (P4, P5, P6), read through a
// buffer of 4096 bytes. Samples are scaled from the file's maximum to 0..255.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/codec_graphic.h"

class TPPMGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TPPMGraphic";

    using TCodecGraphic::CanLoad;
    // More than 10 bytes remain, starting with "P" and a digit 1 to 6.
    bool CanLoad(TStream& stream) override;
    // The first line is the magic alone; then width and height (and the
    // maximum of graymaps and pixmaps) as numbers. True when the first line
    // starts with "P"; a type that is not a digit raises EConvertError.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;

    // The character source over Stream. GetChar: the next byte, refilling
    // the buffer when it is used up; at the end of the stream it raises
    // "Stream read error in PPM file.".
    uint8_t GetChar();
    // The next byte without taking it; 0 when the buffer is used up.
    uint8_t PeekChar() const;
    // Characters up to a line feed or carriage return (a carriage return
    // with a line feed after it takes both), without everything from the
    // first "#" on.
    std::string ReadLine();
    // Skips to the next digit (a "#" skips the rest of its line) and reads
    // decimal digits up to and with the first character after them (the end
    // of the stream also ends a number). Values beyond 32 bits saturate.
    uint32_t GetNumber();

    uint8_t Buffer[4096] = {};
    // The next byte of Buffer; 4096 means the buffer is empty.
    uint32_t BufferIndex = 4096;

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
    // The rows of the text forms (types 1 to 3) and of the binary ones (4 to 6).
    void ReadTextRows(int type, uint32_t width, uint32_t height, uint32_t maximum);
    void ReadBinaryRows(int type, uint32_t width, uint32_t height, uint32_t maximum);
    // The next byte, or -1 at the end of the stream when atEndRaises is false.
    int NextChar(bool atEndRaises);
    // The magic "P" and a digit: the digit's value, or -1 when the stream holds none.
    int ReadMagic();
    // Skips to the next digit like GetNumber and returns it, taking nothing after it.
    uint8_t GetDigit();
    // count bytes through the buffer (raising at the end like GetChar).
    void ReadBytes(uint8_t* target, size_t count);
    void EmptyBuffer();
    // Bytes of Buffer that hold stream data.
    uint32_t bufferLength_ = 0;
};
