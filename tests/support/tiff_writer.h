// TIFF files of one directory written entry by entry, for the suites and the
// benchmarks: the blocks of data first, each at an even offset, then the
// directory with its entries sorted by tag. An entry's count and value field
// are written as given, so that a file can claim what its data does not
// hold; Values derives them from the values instead.
#pragma once

#include <cstdint>
#include <vector>

class TTiffWriter {
public:
    enum Type : uint16_t { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5 };

    explicit TTiffWriter(bool bigEndian = false) : big_(bigEndian) {}

    // Appends a block at an even offset and returns that offset.
    uint32_t Append(const std::vector<uint8_t>& block);
    // One entry: its count, and its value field (a value, or the offset of
    // the values). A SHORT of count 1 sits in the field's first two bytes.
    TTiffWriter& Tag(uint16_t tag, uint16_t type, uint32_t count, uint32_t value);
    // The values of the type, counted (a RATIONAL takes two of them): in the
    // entry when they fit its four bytes, else in a block of their own.
    TTiffWriter& Values(uint16_t tag, uint16_t type, const std::vector<uint32_t>& values);
    // LONG values, as Values writes them.
    TTiffWriter& Longs(uint16_t tag, const std::vector<uint32_t>& values) { return Values(tag, Long, values); }
    // A picture's size, bits of every sample (one value), compression,
    // photometric interpretation and samples per pixel; no strips or tiles.
    TTiffWriter& Picture(uint32_t width, uint32_t height, uint32_t bits, uint32_t samples, uint32_t photometric,
                         uint32_t compression);
    // The file: header, blocks, directory.
    operator std::vector<uint8_t>() const;

private:
    struct TEntry {
        uint16_t tag, type;
        uint32_t count;
        std::vector<uint8_t> field;  // four bytes
    };
    void Put(std::vector<uint8_t>& out, uint32_t value, int size) const;

    bool big_;
    std::vector<uint8_t> data_;  // after the 8-byte header
    std::vector<TEntry> entries_;
};
