// Builds small files byte by byte for readers of formats that no local tool
// writes: numbers in either byte order, text fields, runs of bytes.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <type_traits>
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
    // Each value little-endian in the width of its type (floats as their bits).
    template <class... T>
    TByteWriter& LE(T... values)
    {
        (One(values), ...);
        return *this;
    }
    TByteWriter& Raw(const void* data, size_t size)
    {
        Bytes.insert(Bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        return *this;
    }
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
    void PutLE32(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) Bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

private:
    template <class T>
    void One(T v)
    {
        if constexpr (std::is_floating_point_v<T>) One(std::bit_cast<uint32_t>(v));
        else
            for (size_t i = 0; i < sizeof v; ++i)
                U8(static_cast<unsigned>(std::make_unsigned_t<T>(v) >> (8 * i)) & 0xFF);
    }
};
