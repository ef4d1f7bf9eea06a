// Builds small files byte by byte for readers of formats that no local tool
// writes: numbers in either byte order, text fields, runs of bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

class TByteWriter {
public:
    std::vector<uint8_t> Bytes;

    size_t Size() const { return Bytes.size(); }
    TByteWriter& U8(unsigned v)
    {
        Bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    TByteWriter& List(std::initializer_list<int> values)
    {
        for (int v : values) U8(static_cast<unsigned>(v));
        return *this;
    }
    TByteWriter& Append(const std::vector<uint8_t>& data)
    {
        Bytes.insert(Bytes.end(), data.begin(), data.end());
        return *this;
    }
    TByteWriter& Fill(size_t count, uint8_t value = 0)
    {
        Bytes.insert(Bytes.end(), count, value);
        return *this;
    }
    // Zeros up to the given size.
    TByteWriter& PadTo(size_t size)
    {
        if (Bytes.size() < size) Bytes.resize(size, 0);
        return *this;
    }
    TByteWriter& BE16(unsigned v) { return U8(v >> 8).U8(v); }
    TByteWriter& BE32(uint32_t v) { return BE16(v >> 16).BE16(v & 0xFFFF); }
    TByteWriter& LE16(unsigned v) { return U8(v).U8(v >> 8); }
    TByteWriter& LE32(uint32_t v) { return LE16(v & 0xFFFF).LE16(v >> 16); }
    // The text in a field of size bytes, zero-padded (cut when longer).
    TByteWriter& Text(const std::string& text, size_t size)
    {
        for (size_t i = 0; i < size; ++i) U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        return *this;
    }
    TByteWriter& Text(const std::string& text) { return Text(text, text.size()); }
    // Overwrites bytes already written.
    void PutBE16(size_t at, unsigned v)
    {
        Bytes[at] = static_cast<uint8_t>(v >> 8);
        Bytes[at + 1] = static_cast<uint8_t>(v);
    }
    void PutBE32(size_t at, uint32_t v)
    {
        PutBE16(at, v >> 16);
        PutBE16(at + 2, v & 0xFFFF);
    }
};
