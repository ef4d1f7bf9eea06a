#include "codecs/pcd.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

constexpr int64_t kSector = 2048;
constexpr int kHeaderBytes = 3 * kSector;
constexpr uint32_t kBaseWidth = 768, kBaseHeight = 512;

bool IsOverview(const uint8_t* header) { return std::memcmp(header, "PCD_OPA", 7) == 0; }
bool IsImagePack(const uint8_t* header) { return std::memcmp(header + kSector, "PCD", 3) == 0; }

}  // namespace

void Upsample(uint32_t width, uint32_t height, uint32_t scaledWidth, uint8_t* plane)
{
    if (width == 0 || height == 0) return;
    // Spread every row over the full-width row at twice its index, from the
    // last row up so that no row is overwritten before it is read.
    std::vector<uint8_t> source(width);
    for (uint32_t y = height; y-- > 0;) {
        std::memcpy(source.data(), plane + size_t(y) * scaledWidth, width);
        uint8_t* d = plane + size_t(2 * y) * scaledWidth;
        for (uint32_t x = 0; x + 1 < width; ++x) {
            d[2 * x] = source[x];
            d[2 * x + 1] = static_cast<uint8_t>((source[x] + source[x + 1] + 1) >> 1);
        }
        d[2 * width - 2] = d[2 * width - 1] = source[width - 1];
    }
    // The odd rows between two spread rows.
    for (uint32_t y = 0; y + 1 < height; ++y) {
        const uint8_t* u = plane + size_t(2 * y) * scaledWidth;
        uint8_t* m = plane + size_t(2 * y + 1) * scaledWidth;
        const uint8_t* l = plane + size_t(2 * y + 2) * scaledWidth;
        for (uint32_t x = 0; x + 1 < width; ++x) {
            m[2 * x] = static_cast<uint8_t>((u[2 * x] + l[2 * x] + 1) >> 1);
            m[2 * x + 1] = static_cast<uint8_t>((u[2 * x] + u[2 * x + 2] + l[2 * x] + l[2 * x + 2] + 2) >> 2);
        }
        const uint32_t e = 2 * width - 2;
        m[e] = static_cast<uint8_t>((u[e] + l[e] + 1) >> 1);
        m[e + 1] = static_cast<uint8_t>((u[e + 1] + l[e] + 1) >> 1);
    }
    std::memcpy(plane + size_t(2 * height - 1) * scaledWidth, plane + size_t(2 * height - 2) * scaledWidth, 2 * width);
}

bool TPCDGraphic::CanLoad(TStream& stream)
{
    const int64_t start = stream.Position();
    bool ok = false;
    if (stream.Remaining() > kHeaderBytes) {
        uint8_t header[kSector + 3];
        stream.ReadBuffer(header, sizeof header);
        ok = IsOverview(header) || IsImagePack(header);
    }
    stream.SetPosition(start);
    return ok;
}

bool TPCDGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    std::vector<uint8_t> header(kHeaderBytes);
    stream.ReadBuffer(header.data(), kHeaderBytes);
    TImageProperties& p = ImageProperties;
    p.Overview = IsOverview(header.data());
    if (!p.Overview && !IsImagePack(header.data())) return false;
    p.Rotate = header[3586] & 3;
    const unsigned resolution = p.Overview ? 0 : std::min(ImageIndex, 5u);
    p.Width = 192u << resolution;
    p.Height = 128u << resolution;
    if (p.Rotate == 1 || p.Rotate == 3) std::swap(p.Width, p.Height);
    p.ColorScheme = csPhotoYCC;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 3;
    p.BitsPerPixel = 24;
    p.Compression = resolution < 3 ? ctNone : ctPCDHuffmann;
    p.ImageCount = ReadBE16(header.data() + 10);
    return true;
}

void TPCDGraphic::LoadFromStream(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 2)) return;
    stream.SetPosition(BasePosition);

    const uint32_t w = kBaseWidth, h = kBaseHeight;
    std::vector<uint8_t> luma(size_t(w) * h), chroma1(size_t(w) * h), chroma2(size_t(w) * h);
    stream.Seek((ImageProperties.Overview ? 5 : 96) * kSector, soCurrent);

    ColorManager.SourceOptions = 0;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSource(csPhotoYCC, 8, 3);
    ColorManager.SetTarget(csBGR, 8, 3);
    SetPixelFormat(pf24bit);
    const float coefficients[3] = {0.2125f, 0.7154f, 0.0721f};
    ColorManager.SetYCbCrParameters(coefficients, 2, 2);

    for (uint32_t pair = 0; pair < h / 2; ++pair) {
        stream.ReadBuffer(luma.data() + size_t(2 * pair) * w, w);
        stream.ReadBuffer(luma.data() + size_t(2 * pair + 1) * w, w);
        stream.ReadBuffer(chroma1.data() + size_t(pair) * w, w / 2);
        stream.ReadBuffer(chroma2.data() + size_t(pair) * w, w / 2);
    }
    Upsample(w / 2, h / 2, w, chroma1.data());
    Upsample(w / 2, h / 2, w, chroma2.data());

    const void* rows[3];
    auto planes = [&](uint32_t y) {
        rows[0] = luma.data() + size_t(y) * w;
        rows[1] = chroma1.data() + size_t(y) * w;
        rows[2] = chroma2.data() + size_t(y) * w;
        return std::span<const void* const>(rows, 3);
    };
    const uint8_t rotate = ImageProperties.Rotate;
    if (rotate == 0 || rotate == 2) {
        SetBitmapSize(*this, w, h);
        for (uint32_t y = 0; y < h; ++y) ColorManager.ConvertRow(planes(y), ScanLine(static_cast<int>(y)), w);
        return;
    }
    // A quarter turn: each converted row becomes a column of the bitmap.
    SetBitmapSize(*this, h, w);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
        ColorManager.ConvertRow(planes(y), row.data(), w);
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t line = rotate == 1 ? w - 1 - x : x;
            const uint32_t column = rotate == 1 ? y : h - 1 - y;
            std::memcpy(ScanLine(static_cast<int>(line)) + size_t(column) * 3, row.data() + size_t(x) * 3, 3);
        }
    }
}
