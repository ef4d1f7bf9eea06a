#include "support/psp_writer.h"

#include <cstring>

#include "support/zlib_stream.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) { out.insert(out.end(), more.begin(), more.end()); }

// A block: its header, then the body.
std::vector<uint8_t> Block(uint16_t major, uint16_t type, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> out = {'~', 'B', 'K', 0};
    Put16(out, type);
    if (major == 3) Put32(out, static_cast<uint32_t>(body.size()));
    Put32(out, static_cast<uint32_t>(body.size()));
    Append(out, body);
    return out;
}

std::vector<uint8_t> Compress(uint16_t method, const std::vector<uint8_t>& plane)
{
    if (method == 1) return PspRunLength(plane);
    if (method == 2) return ZlibCompress(plane, 9);
    return plane;
}

}  // namespace

size_t PspRowSize(int width, int bitDepth)
{
    if (bitDepth == 1) return (static_cast<size_t>(width) + 7) / 8;
    if (bitDepth == 4) return static_cast<size_t>(width) / 2 + 1;
    return static_cast<size_t>(width);
}

std::vector<uint8_t> PspRunLength(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < data.size()) {
        size_t run = 1;
        while (i + run < data.size() && data[i + run] == data[i] && run < 127) ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(128 + run));
            out.push_back(data[i]);
            i += run;
            continue;
        }
        size_t lit = 0;
        while (i + lit < data.size() && lit < 127) {
            if (i + lit + 2 < data.size() && data[i + lit] == data[i + lit + 1] && data[i + lit] == data[i + lit + 2]) break;
            ++lit;
        }
        out.push_back(static_cast<uint8_t>(lit));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + lit));
        i += lit;
    }
    return out;
}

std::vector<uint8_t> WritePsp(const TPspFile& f)
{
    std::vector<uint8_t> out(32, 0);
    const char signature[] = "Paint Shop Pro Image File\n\x1a";
    std::memcpy(out.data(), signature, sizeof signature - 1);
    Put16(out, f.Major);
    Put16(out, 0);
    const bool chunked = f.Major > 3;

    std::vector<uint8_t> attributes;
    if (chunked) Put32(attributes, 46);
    Put32(attributes, static_cast<uint32_t>(f.Width));
    Put32(attributes, static_cast<uint32_t>(f.Height));
    uint8_t resolution[8];
    std::memcpy(resolution, &f.Resolution, 8);
    attributes.insert(attributes.end(), resolution, resolution + 8);
    attributes.push_back(f.ResolutionMetric);
    Put16(attributes, f.Compression);
    Put16(attributes, f.BitDepth);
    Put16(attributes, f.BitDepth == 24 ? 3 : 1);
    Put32(attributes, f.BitDepth == 24 ? 1u << 24 : 1u << f.BitDepth);
    attributes.push_back(f.Greyscale ? 1 : 0);
    attributes.resize(attributes.size() + 14, 0);
    Append(out, Block(f.Major, 0, attributes));

    if (!f.Palette.empty()) {
        std::vector<uint8_t> body;
        if (chunked) Put32(body, 8);
        Put32(body, static_cast<uint32_t>(f.Palette.size()));
        for (const auto& c : f.Palette) body.insert(body.end(), {c[2], c[1], c[0], 0});
        Append(out, Block(f.Major, 2, body));
    }

    std::vector<uint8_t> bank;
    for (const TPspLayer& layer : f.Layers) {
        std::vector<uint8_t> body, info(115, 0);
        info[0] = layer.LayerType;
        if (chunked) {
            Put32(body, static_cast<uint32_t>(4 + 2 + layer.Name.size() + info.size()));
            Put16(body, static_cast<uint16_t>(layer.Name.size()));
            body.insert(body.end(), layer.Name.begin(), layer.Name.end());
        } else {
            std::vector<uint8_t> name(256, 0);
            std::memcpy(name.data(), layer.Name.data(), std::min<size_t>(layer.Name.size(), 255));
            Append(body, name);
        }
        Append(body, info);
        if (chunked) Put32(body, 8);
        Put16(body, 1);
        Put16(body, static_cast<uint16_t>(layer.Channels.size()));
        for (const TPspChannel& channel : layer.Channels) {
            const std::vector<uint8_t> data = Compress(f.Compression, channel.Plane);
            std::vector<uint8_t> c;
            if (chunked) Put32(c, 16);
            Put32(c, static_cast<uint32_t>(data.size()));
            Put32(c, static_cast<uint32_t>(channel.Plane.size()));
            Put16(c, 0);
            Put16(c, channel.Type);
            Append(c, data);
            Append(body, Block(f.Major, 5, c));
        }
        Append(bank, Block(f.Major, 4, body));
    }
    Append(out, Block(f.Major, 3, bank));
    return out;
}
