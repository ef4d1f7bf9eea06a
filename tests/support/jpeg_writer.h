// JPEG files written marker by marker, for the suites and the benchmarks:
// a quantisation table of ones, the frame, Huffman tables of one 1-bit code
// each, then scans of entropy-coded data written bit by bit.
#pragma once

#include <cstdint>
#include <vector>

#include "support/byte_writer.h"

// Entropy-coded bits, with a zero byte stuffed after every 0xFF and the
// last byte padded with ones.
class TJpegBits {
public:
    void Put(uint32_t value, int count);
    std::vector<uint8_t> Done();

private:
    void Flush();

    std::vector<uint8_t> out_;
    uint32_t acc_ = 0;
    int n_ = 0;
};

struct TJpegComponent {
    int id;
    int sampling;  // horizontal factor in the high nibble
};

class TJpegFile {
public:
    // SOI, a quantisation table of ones, the frame, and Huffman tables of
    // one 1-bit code each: DC category 0, and `acSymbol` for AC.
    TJpegFile(bool progressive, int width, int height, const std::vector<TJpegComponent>& components, int acSymbol);
    // A scan of the components, its spectral selection and successive
    // approximation, then its entropy-coded data.
    TJpegFile& Scan(const std::vector<int>& ids, int ss, int se, int ahal, const std::vector<uint8_t>& data);
    // The file so far, without an end marker.
    const std::vector<uint8_t>& Unended() const { return w_.Bytes; }
    // The file with its end marker.
    std::vector<uint8_t> Done();

private:
    void Marker(int code, const std::vector<uint8_t>& body);

    TByteWriter w_;
};

// The headers of a baseline JPEG of width x height gray pixels, up to the
// data of its one scan, for the JPEG strips of TIFF files: a quantisation
// table of ones, the frame, a Huffman table for DC and another for AC, each
// of one code of length 1 for the symbol 0 (DC category 0, AC end of block).
std::vector<uint8_t> JpegHeaders(uint16_t width, uint16_t height);
// A whole JPEG of 8 x 1 gray pixels: those headers and one block whose
// coefficients are all zero (each pixel 128).
std::vector<uint8_t> TinyJpeg();
