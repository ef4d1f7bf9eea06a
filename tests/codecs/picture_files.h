// Picture files written field by field, for what no tool here writes (and for damaged files): each builder names its
// fields and turns into bytes.
#pragma once

#include <cstdio>

#include <jpeglib.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "codec_test.h"
#include "codecs/decoders.h"
#include "support/byte_writer.h"
#include "support/tiff_writer.h"
#include "support/zlib_stream.h"

// Run-length packets: runs of 0x80 | n and the byte, n literal bytes after n (CUT, Paint Shop Pro); or, for RLA, runs
// of n - 1 and literals after -n.
inline Bytes RunLength(const Bytes& samples, bool rla = false)
{
    Bytes out;
    for (size_t i = 0, run = 0, literal = 0; i < samples.size(); i += run >= 3 ? run : literal) {
        for (run = 1; i + run < samples.size() && run < 127 && samples[i + run] == samples[i];) ++run;
        if (run >= 3) {
            out.insert(out.end(), {uint8_t(rla ? run - 1 : 0x80 | run), samples[i]});
            continue;
        }
        for (literal = 0; i + literal < samples.size() && literal < 127; ++literal)
            if (i + literal + 2 < samples.size() && samples[i + literal] == samples[i + literal + 1] &&
                samples[i + literal] == samples[i + literal + 2])
                break;
        out.push_back(static_cast<uint8_t>(rla ? -int(literal) : int(literal)));
        out.insert(out.end(), samples.begin() + long(i), samples.begin() + long(i + literal));
    }
    return out;
}

// PNG image rows of 8-bit RGB pixels (x * 20, y * 30, x + y), each after filter byte 0.
inline Bytes RgbRows(int w, int h)
{
    Bytes raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w; ++x) raw.insert(raw.end(), {uint8_t(x * 20), uint8_t(y * 30), uint8_t(x + y)});
    }
    return raw;
}

// A baseline JPEG of ramps, gray or colour, with the first component's sampling factors.
inline Bytes EncodeJpeg(int w, int h, int components, int hs = 1, int vs = 1)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    c.comp_info[0].h_samp_factor = hs;
    c.comp_info[0].v_samp_factor = vs;
    jpeg_start_compress(&c, TRUE);
    for (Bytes row(size_t(w) * components); c.next_scanline < c.image_height;) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 3 + c.next_scanline * 5);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

// The samples of a baseline JPEG, as libjpeg decodes them.
inline Bytes DecodeJpeg(const Bytes& jpeg)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    const size_t rowBytes = size_t(d.output_width) * d.output_components;
    Bytes out(rowBytes * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.data() + d.output_scanline * rowBytes;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

// Truevision: the 18-byte header, then the data.
struct Tga {
    int id = 0, mapType = 0, type = 2, mapLength = 0, mapEntry = 0, width = 1, height = 1, depth = 24,
        descriptor = 0x20;
    Bytes data = {};
    operator Bytes() const
    {
        return TByteWriter()
            .U8(id)
            .U8(mapType)
            .U8(type)
            .LE16(0)
            .LE16(mapLength)
            .U8(mapEntry)
            .LE32(0)
            .LE16(width)
            .LE16(height)
            .U8(depth)
            .U8(descriptor)
            .Append(data)
            .Bytes;
    }
};

// PNG: the signature, then chunks with their CRC (spoilt when asked).
struct Png {
    Bytes bytes = Text("\x89PNG\r\n\x1a\n");
    Png& Chunk(const char* type, const Bytes& data, bool goodCrc = true)
    {
        TByteWriter w;
        w.BE32(uint32_t(data.size())).Text(type).Append(data);
        const uint32_t crc = uint32_t(crc32(0, w.Bytes.data() + 4, uInt(w.Size() - 4)));
        bytes = Join({bytes, w.BE32(goodCrc ? crc : crc ^ 1).Bytes});
        return *this;
    }
    Png& Header(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace = 0, uint8_t method = 0)
    {
        return Chunk("IHDR", TByteWriter().BE32(w).BE32(h).List({depth, colorType, method, 0, interlace}).Bytes);
    }
    Png& Image(const Bytes& rows) { return Chunk("IDAT", ZlibCompress(rows, 6)); }
    Png& End() { return Chunk("IEND", {}); }
    operator Bytes() const { return bytes; }
};

// TIFF of one directory, each entry counted from its values: the strips, the values that do not fit their entry,
// then the directory.
struct Tiff {
    using enum TTiffWriter::Type;
    bool big = false;
    std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>> tags = {};
    std::vector<Bytes> strips = {};  // their offsets and byte counts are set unless given

    Tiff& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values)
    {
        tags[tag] = {type, std::move(values)};
        return *this;
    }
    Tiff& Picture(uint32_t w, uint32_t h, uint32_t bits, uint32_t samples, uint32_t photometric, uint32_t compression)
    {
        Set(256, Long, {w})
            .Set(257, Long, {h})
            .Set(258, Short, std::vector<uint32_t>(samples, bits))
            .Set(277, Short, {samples});
        return Set(262, Short, {photometric}).Set(259, Short, {compression});
    }
    Tiff& Strip(Bytes s)
    {
        strips.push_back(std::move(s));
        return *this;
    }
    operator Bytes() const
    {
        TTiffWriter w(big);
        auto all = tags;
        if (!strips.empty()) {
            Bytes joined;  // the strips back to back, right after the header
            std::vector<uint32_t> offsets, counts;
            for (const Bytes& s : strips) {
                offsets.push_back(uint32_t(8 + joined.size()));
                counts.push_back(uint32_t(s.size()));
                joined.insert(joined.end(), s.begin(), s.end());
            }
            w.Append(joined);
            if (!all.count(273)) {
                all[273] = {Long, offsets};
                all[279] = {Long, counts};
            }
        }
        for (const auto& [tag, tv] : all) w.Values(tag, tv.first, tv.second);
        return w;
    }
};

// Photoshop: the header, the three sections, then the merged image.
struct Psd {
    int channels = 3, rows = 1, columns = 1, depth = 8, mode = 3;
    Bytes modeData = {};
    int compression = 0;
    std::vector<uint16_t> rowLengths = {};  // PackBits only
    Bytes image = {};
    operator Bytes() const
    {
        TByteWriter w;
        w.Text("8BPS").BE16(1).Fill(6).BE16(channels).BE32(rows).BE32(columns).BE16(depth).BE16(mode).BE32(
            uint32_t(modeData.size()));
        w.Append(modeData).BE32(4).List({1, 2, 3, 4}).BE32(0).BE16(compression);
        for (uint16_t n : rowLengths) w.BE16(n);
        return w.Append(image).Bytes;
    }
    // What a PackBits image of three 8-bit channels decodes to read as one
    // stream from its start, the planes one after the other; what the data
    // does not reach stays zero.
    TReferenceImage SingleStreamRgb() const
    {
        const size_t n = size_t(columns) * size_t(rows);
        Bytes planes(3 * n), packed = image;
        void* source = packed.data();
        void* dest = planes.data();
        TPackbitsRLEDecoder().Decode(source, dest, int32_t(packed.size()), int32_t(planes.size()));
        TReferenceImage reference{columns, rows, false, Bytes(4 * n)};
        for (size_t i = 0; i < n; ++i)
            for (size_t k = 0; k < 3; ++k) reference.Rgba[4 * i + k] = planes[k * n + i];
        return reference;
    }
};

// Paint Shop Pro: the file header, the image attributes, a palette if any, and a layer bank of layers whose channels
// (0 transparency, 1 red, 2 green, 3 blue) are stored plain (0), run-length (1) or deflate compressed (2).
struct Psp {
    int major = 5, width = 1, height = 1, depth = 24, compression = 0;
    bool grey = false;
    double resolution = 72;
    int unit = 1;                                                                     // 2: per centimetre
    Bytes palette = {};                                                               // red, green, blue
    std::vector<std::pair<uint8_t, std::vector<std::pair<int, Bytes>>>> layers = {};  // type, and its channels
    Bytes Block(int type, const Bytes& body) const
    {
        TByteWriter w;
        w.Text("~BK").U8(0).LE16(type);
        if (major == 3) w.LE32(uint32_t(body.size()));  // the initial data length
        return w.LE32(uint32_t(body.size())).Append(body).Bytes;
    }
    operator Bytes() const
    {
        const bool chunked = major > 3;  // later versions give each chunk its length
        TByteWriter w, attributes, colours, bank;
        w.Text("Paint Shop Pro Image File\n\x1a", 32).LE16(major).LE16(0);
        if (chunked) attributes.LE32(46);
        uint8_t r[8];
        std::memcpy(r, &resolution, 8);
        attributes.LE32(width)
            .LE32(height)
            .Append(Bytes(r, r + 8))
            .U8(unit)
            .LE16(compression)
            .LE16(depth)
            .LE16(depth == 24 ? 3 : 1);
        w.Append(Block(0, attributes.LE32(depth == 24 ? 1u << 24 : 1u << depth).U8(grey).Fill(14).Bytes));
        if (chunked) colours.LE32(8);
        colours.LE32(uint32_t(palette.size() / 3));
        for (size_t i = 0; i < palette.size(); i += 3) colours.List({palette[i + 2], palette[i + 1], palette[i], 0});
        if (!palette.empty()) w.Append(Block(2, colours.Bytes));
        for (const auto& [type, channels] : layers) {
            TByteWriter layer;
            if (chunked) layer.LE32(4 + 2 + 5 + 115).LE16(5).Text("Layer");
            else layer.Text("Layer", 256);
            layer.U8(type).Fill(114);
            if (chunked) layer.LE32(8);
            layer.LE16(1).LE16(unsigned(channels.size()));
            for (const auto& [channel, plane] : channels) {
                const Bytes data = compression == 1   ? RunLength(plane)
                                   : compression == 2 ? ZlibCompress(plane, 9)
                                                      : plane;
                TByteWriter c;
                if (chunked) c.LE32(16);
                layer.Append(Block(5, c.LE32(uint32_t(data.size()))
                                          .LE32(uint32_t(plane.size()))
                                          .LE16(0)
                                          .LE16(channel)
                                          .Append(data)
                                          .Bytes));
            }
            bank.Append(Block(4, layer.Bytes));
        }
        return w.Append(Block(3, bank.Bytes)).Bytes;
    }
};

// PCX: the 128-byte header, then the data.
struct Pcx {
    int manufacturer = 10, version = 5, encoding = 1, bits = 8, xMin = 0, yMin = 0, xMax = 0, yMax = 0, planes = 1,
        bytesPerLine = 2, paletteType = 1;
    Bytes colorMap = Bytes(48, 0), data = {};
    operator Bytes() const
    {
        return TByteWriter()
            .U8(manufacturer)
            .U8(version)
            .U8(encoding)
            .U8(bits)
            .LE16(xMin)
            .LE16(yMin)
            .LE16(xMax)
            .LE16(yMax)
            .LE16(72)
            .LE16(72)
            .Append(colorMap)
            .U8(0)
            .U8(planes)
            .LE16(bytesPerLine)
            .LE16(paletteType)
            .Fill(58)
            .Append(data)
            .Bytes;
    }
};

// SGI: the 512-byte header, then the data.
struct Sgi {
    int magic = 474, storage = 0, bpc = 1, dimension = 3, width = 1, height = 1, channels = 3;
    Bytes data = {};
    operator Bytes() const
    {
        return TByteWriter()
            .BE16(magic)
            .U8(storage)
            .U8(bpc)
            .BE16(dimension)
            .BE16(width)
            .BE16(height)
            .BE16(channels)
            .PadTo(512)
            .Append(data)
            .Bytes;
    }
};

// Autodesk cel: the header, 256 colours of 6 bits a channel, then the rows.
struct Cel {
    int width = 1, height = 1, depth = 8, compression = 0;
    Bytes rows = {};
    operator Bytes() const
    {
        TByteWriter w;
        w.LE16(0x9119)
            .LE16(width)
            .LE16(height)
            .LE32(0)
            .U8(depth)
            .U8(compression)
            .LE32(uint32_t(width * height))
            .Fill(16);
        for (int i = 0; i < 256; ++i) w.U8(i & 63).U8(63 - (i & 63)).U8(i >> 2);
        return w.Append(rows).Bytes;
    }
};

// RLA of RGBA samples (rows top first), stored bottom row first unless the active window says otherwise; deeper
// channels hold two byte planes.
struct Rla {
    int width = 1, height = 1;
    Bytes rgba = {};
    bool matte = false;
    int bottom = 0, top = -1;  // -1: height - 1
    std::string gamma = "1.0", channelType = "rgb";
    unsigned revision = 0xFFFE;
    int bits = 8, matteBits = -1;  // -1: bits
    operator Bytes() const
    {
        const int t = top < 0 ? height - 1 : top;
        TByteWriter w;
        w.BE16(0)
            .BE16(width - 1)
            .BE16(0)
            .BE16(height - 1)
            .BE16(0)
            .BE16(width - 1)
            .BE16(bottom)
            .BE16(t)
            .BE16(1)
            .BE16(0)
            .BE16(3);
        w.BE16(matte)
            .BE16(0)
            .BE16(revision)
            .Text(gamma, 16)
            .Fill(528)
            .Text("1.0", 8)
            .Text(channelType, 32)
            .Fill(46)
            .BE16(bits);
        w.BE16(0).BE16(matteBits < 0 ? bits : matteBits).Fill(76);
        const size_t table = w.Size();
        w.Fill(4 * size_t(height));
        for (int i = 0; i < height; ++i) {
            const int y = bottom < t ? height - 1 - i : i;
            w.PutBE32(table + 4 * size_t(i), uint32_t(w.Size()));
            for (int c = 0; c < (matte ? 4 : 3); ++c) {
                Bytes high, low;
                for (int x = 0; x < width; ++x) {
                    const long s = std::lround(rgba[(size_t(y) * width + x) * 4 + c] * ((1 << bits) - 1) / 255.0);
                    high.push_back(uint8_t(bits > 8 ? s >> 8 : s));
                    low.push_back(uint8_t(s));
                }
                const Bytes packed =
                    bits > 8 ? Join({RunLength(high, true), RunLength(low, true)}) : RunLength(high, true);
                w.BE16(unsigned(packed.size())).Append(packed);
            }
        }
        return w.Bytes;
    }
};

// EPS: the 30-byte header, PostScript, then the TIFF preview if any.
inline Bytes Eps(const Bytes& tiff)
{
    const Bytes postscript = Text("%!PS-Adobe-3.0 EPSF-3.0\nshowpage\n");
    TByteWriter w;
    w.LE32(0xC6D3D0C5)
        .LE32(30)
        .LE32(uint32_t(postscript.size()))
        .LE32(0)
        .LE32(0)
        .LE32(tiff.empty() ? 0 : uint32_t(30 + postscript.size()));
    return Join({w.LE32(uint32_t(tiff.size())).LE16(0xFFFF).Bytes, postscript, tiff});
}

// A Photo-CD pack with the base image at sector 96 (5 for an overview pack): luma(x, y) and neutral chroma, so that
// the picture shows the luma as gray.
inline Bytes PhotoCD(
    int rotate, bool overview = false, uint8_t (*luma)(int, int) = [](int, int) { return uint8_t(0); })
{
    TByteWriter w;
    if (overview) w.Text("PCD_OPA");
    w.PadTo(10)
        .BE16(3)
        .PadTo(2048)
        .Text(overview ? "" : "PCD_IPI")
        .PadTo(3586)
        .U8(rotate)
        .PadTo((overview ? 5 : 96) * 2048);
    for (int pair = 0; pair < 256; ++pair) {
        for (int r = 0; r < 2; ++r)
            for (int x = 0; x < 768; ++x) w.U8(luma(x, 2 * pair + r));
        w.Fill(384, 156).Fill(384, 137);
    }
    return w.Bytes;
}
