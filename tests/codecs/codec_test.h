// What the codec suites share: bytes, the reader of an extension, loading, a short description of a loaded picture,
// and bit streams.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/codec_graphic.h"
#include "codecs/fax_decoders.h"
#include "codecs/file_formats.h"
#include "platform/rtl/classes.h"
#include "support/counting_stream.h"
#include "support/imagemagick.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
inline Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }
inline Bytes Head(Bytes b, size_t n)
{
    b.resize(std::min(n, b.size()));
    return b;
}
inline Bytes Patch(Bytes b, size_t at, std::initializer_list<uint8_t> values)
{
    std::copy(values.begin(), values.end(), b.begin() + long(at));
    return b;
}

#define REQUIRE_CONVERT() \
    if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed"

// A new reader of the kind the format table registers for the extension.
inline std::unique_ptr<TCodecGraphic> Reader(const std::string& extension)
{
    for (const auto& row : FormatRegistrations()) {
        std::unique_ptr<TGraphic> g = extension == row.Extension ? CodecClassOf(row.Slot)->Create() : nullptr;
        if (dynamic_cast<TCodecGraphic*>(g.get()))
            return std::unique_ptr<TCodecGraphic>(static_cast<TCodecGraphic*>(g.release()));
    }
    ADD_FAILURE() << "no reader for " << extension;
    return nullptr;
}

inline std::unique_ptr<TCodecGraphic> Load(const std::string& extension, const Bytes& bytes)
{
    auto g = Reader(extension);
    TMemoryStream stream(bytes.data(), bytes.size());
    g->LoadFromStream(stream);
    return g;
}

// The message of the error that loading raises; "" when the file loads.
inline std::string LoadError(const std::string& extension, const Bytes& file)
{
    try {
        Load(extension, file);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

// "WxH/format" and the colour of each point: "rrggbb", "gg" for a gray, with the alpha byte after it in 32-bit
// bitmaps ("rrggbbaa"); last "t=" and the transparent colour of a transparent bitmap.
inline std::string Describe(const TBitmap& b, const std::vector<std::pair<int, int>>& points)
{
    static const char* const formats[] = {"device", "1", "4", "8", "15", "16", "24", "32", "custom"};
    std::string s = std::to_string(b.Width()) + "x" + std::to_string(b.Height()) + "/" + formats[b.PixelFormat()];
    char hex[16];
    auto colour = [&](const char* prefix, TColor c, int alpha) {
        const int r = GetRValue(c), g = GetGValue(c), bl = GetBValue(c);
        if (alpha >= 0) std::snprintf(hex, sizeof hex, " %02x%02x%02x%02x", r, g, bl, alpha);
        else if (r == g && g == bl) std::snprintf(hex, sizeof hex, " %s%02x", prefix, r);
        else std::snprintf(hex, sizeof hex, " %s%02x%02x%02x", prefix, r, g, bl);
        s += hex;
    };
    for (auto [x, y] : points) colour("", b.GetPixel(x, y), b.PixelFormat() == pf32bit ? b.ScanLine(y)[4 * x + 3] : -1);
    if (b.Transparent()) colour("t=", b.TransparentColor(), -1);
    return s;
}
inline std::vector<std::pair<int, int>> Row(int y, int n)  // the first n points of row y
{
    std::vector<std::pair<int, int>> points;
    for (int x = 0; x < n; ++x) points.emplace_back(x, y);
    return points;
}

// A byte that a decoder did not write.
constexpr uint8_t kUnwritten = 0xEE;

// Decodes into `size` bytes (and guard bytes after them, which must stay untouched); `moved` receives how far Source
// moved.
inline Bytes Unpack(TDecoder& d, Bytes input, int32_t packed, int32_t unpacked, size_t size, ptrdiff_t* moved = nullptr)
{
    Bytes out(size + 8, kUnwritten);
    void* source = input.data();
    void* dest = out.data();
    d.Decode(source, dest, packed, unpacked);
    for (size_t i = size; i < out.size(); ++i) EXPECT_EQ(out[i], kUnwritten) << "written past the output at " << i;
    if (moved) *moved = static_cast<uint8_t*>(source) - input.data();
    return Head(out, size);
}

// A load by the reader of an extension through a counting stream: the reader, the message of the error that loading
// raised ("" when the file loaded) and the bytes read.
struct TCountedLoad {
    std::unique_ptr<TCodecGraphic> picture;
    std::string error = {};
    int64_t bytesRead = 0;
    // What Describe gives of the points, or the error's message.
    std::string Outcome(const std::vector<std::pair<int, int>>& points) const
    {
        return error.empty() ? Describe(*picture, points) : error;
    }
};
inline TCountedLoad LoadCounting(const std::string& extension, const Bytes& file)
{
    TCountedLoad load{Reader(extension)};
    TCountingStream stream(file.data(), file.size());
    try {
        load.picture->LoadFromStream(stream);
    } catch (const std::exception& e) {
        load.error = e.what();
    }
    load.bytesRead = stream.BytesRead;
    return load;
}

// Bits written most significant first: fax codes and runs, and others.
struct TFaxBits {
    Bytes bytes;
    int used = 8;
    TFaxBits& Put(uint32_t code, int length)
    {
        for (int b = length - 1; b >= 0; --b) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            if ((code >> b) & 1) bytes.back() |= uint8_t(0x80 >> used);
            ++used;
        }
        return *this;
    }
    TFaxBits& Code(bool white, int i)
    {
        return Put((white ? WhiteCodes : BlackCodes)[i].Code, (white ? WhiteCodes : BlackCodes)[i].Length);
    }
    // A run: make-up codes, then the terminating code.
    TFaxBits& Run(bool white, int length)
    {
        for (; length >= 2560; length -= 2560) Code(white, 103);
        if (length >= 64) {
            Code(white, 63 + length / 64);
            length %= 64;
        }
        return Code(white, length);
    }
    TFaxBits& Eol() { return Put(1, 12); }
    // The next code starts on a fresh byte.
    TFaxBits& Align()
    {
        used = 8;
        return *this;
    }
};
