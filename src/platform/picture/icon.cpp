// Windows icon and cursor files.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/canvas.h"
#include "platform/gdi/dib.h"
#include "platform/picture/picture.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "ICO";

struct TCandidate {
    int64_t offset = 0;
    TDIBHeader header;
};

}  // namespace

void TIcon::Assign(const TGraphic& source)
{
    if (&source == this) return;
    if (const auto* icon = dynamic_cast<const TIcon*>(&source)) {
        image_.Assign(icon->image_);
        mask_.Assign(icon->mask_);
        return;
    }
    throw EInvalidGraphic("Cannot assign this picture to an icon");
}

void TIcon::LoadFromStream(TStream& stream)
{
    const int64_t start = stream.Position();
    uint8_t dir[6];
    stream.ReadBuffer(dir, 6);
    const unsigned type = ReadLE16(dir + 2), count = ReadLE16(dir + 4);
    if (ReadLE16(dir) != 0 || (type != 1 && type != 2) || count == 0) RaiseInvalidImage(kLabel);
    std::vector<uint8_t> entries(static_cast<size_t>(count) * 16);
    stream.ReadBuffer(entries.data(), static_cast<int64_t>(entries.size()));

    // Pick the largest image that is stored as a bitmap; its own header gives its size.
    bool found = false;
    TCandidate best;
    for (unsigned i = 0; i < count; ++i) {
        const int64_t offset = ReadLE32(entries.data() + 16 * i + 12);
        stream.SetPosition(start + offset);
        uint8_t sig[4];
        if (stream.Read(sig, 4) != 4) continue;
        if (sig[0] == 0x89 && sig[1] == 'P' && sig[2] == 'N' && sig[3] == 'G') continue;
        stream.SetPosition(start + offset);
        TCandidate c;
        c.offset = offset;
        try {
            c.header = ReadDIBHeader(stream, kLabel, true);
        } catch (const EInvalidGraphic&) {
            continue;
        } catch (const EReadError&) {
            continue;
        }
        const int64_t area = int64_t(c.header.width) * c.header.height;
        const int64_t bestArea = int64_t(best.header.width) * best.header.height;
        if (!found || area > bestArea || (area == bestArea && c.header.bitCount > best.header.bitCount)) {
            best = std::move(c);
            found = true;
        }
    }
    if (!found) RaiseInvalidImage(kLabel);

    stream.SetPosition(start + best.offset);
    const TDIBHeader h = ReadDIBHeader(stream, kLabel, true);
    // The image and its mask are one picture: together they may take what
    // one bitmap may (16-bit images may widen to 32 bits).
    const int imageBits = h.bitCount == 16 ? 32 : h.bitCount;
    const int64_t pictureBytes =
        (int64_t(BytesPerScanline(h.width, imageBits)) + BytesPerScanline(h.width, 1)) * h.height;
    if (pictureBytes > BitmapMemoryLimit) throw EOutOfResources();
    TBitmap image;
    ReadDIBPixels(stream, h, image, kLabel);

    // The AND mask follows: one bit per pixel, 1 where the icon is transparent.
    TBitmap mask;
    mask.SetPixelFormat(pf1bit);
    TLogPalette bw;
    bw.entries = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    mask.SetPalette(CreatePalette(bw));
    mask.SetSize(h.width, h.height);
    const int64_t stride = ((int64_t(h.width) + 31) / 32) * 4;
    if (stream.Remaining() >= stride * h.height) {
        for (int y = 0; y < h.height; ++y) stream.ReadBuffer(mask.ScanLine(h.topDown ? y : h.height - 1 - y), stride);
    }
    // Icons of 32 bits carry their transparency in the alpha bytes as well.
    if (h.bitCount == 32) {
        bool anyAlpha = false;
        for (int y = 0; y < h.height && !anyAlpha; ++y) {
            const uint8_t* row = image.ScanLine(y);
            for (int x = 0; x < h.width; ++x)
                if (row[4 * x + 3]) {
                    anyAlpha = true;
                    break;
                }
        }
        if (anyAlpha)
            for (int y = 0; y < h.height; ++y) {
                const uint8_t* row = image.ScanLine(y);
                uint8_t* m = mask.ScanLine(y);
                for (int x = 0; x < h.width; ++x)
                    if (row[4 * x + 3] < 128) m[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
    }
    image_.SwapImage(image);
    mask_.SwapImage(mask);
    SetTransparent(true);
}

void TIcon::SaveToStream(TStream& stream)
{
    const int w = image_.Width(), h = image_.Height();
    if (w == 0 || h == 0 || w > 256 || h > 256) throw EInvalidGraphic("Cannot save an icon of this size");
    TBitmap image;
    image.Assign(image_);
    image.SetPixelFormat(pf32bit);
    const int64_t maskStride = ((int64_t(w) + 31) / 32) * 4;
    const uint32_t imageBytes = static_cast<uint32_t>(40 + int64_t(w) * h * 4 + maskStride * h);
    uint8_t head[6 + 16 + 40] = {};
    WriteLE16(head + 2, 1);
    WriteLE16(head + 4, 1);
    uint8_t* e = head + 6;
    e[0] = static_cast<uint8_t>(w & 0xFF);
    e[1] = static_cast<uint8_t>(h & 0xFF);
    WriteLE16(e + 4, 1);
    WriteLE16(e + 6, 32);
    WriteLE32(e + 8, imageBytes);
    WriteLE32(e + 12, 22);
    uint8_t* info = head + 22;
    WriteLE32(info, 40);
    WriteLE32(info + 4, static_cast<uint32_t>(w));
    WriteLE32(info + 8, static_cast<uint32_t>(2 * h));
    WriteLE16(info + 12, 1);
    WriteLE16(info + 14, 32);
    stream.WriteBuffer(head, sizeof head);
    const bool hasMask = mask_.Width() == w && mask_.Height() == h;
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    for (int y = h - 1; y >= 0; --y) {
        std::memcpy(row.data(), image.ScanLine(y), row.size());
        for (int x = 0; x < w; ++x) row[4 * x + 3] = (hasMask && mask_.GetPixel(x, y) != clBlack) ? 0 : 255;
        stream.WriteBuffer(row.data(), static_cast<int64_t>(row.size()));
    }
    std::vector<uint8_t> maskRow(static_cast<size_t>(maskStride));
    for (int y = h - 1; y >= 0; --y) {
        std::fill(maskRow.begin(), maskRow.end(), 0);
        if (hasMask) std::memcpy(maskRow.data(), mask_.ScanLine(y), std::min<size_t>(maskRow.size(), mask_.RowBytes()));
        stream.WriteBuffer(maskRow.data(), maskStride);
    }
}

void TIcon::Draw(TCanvas& canvas, const TRect& rect) const
{
    StretchBitmap(canvas.Bitmap(), rect, image_, Rect(0, 0, image_.Width(), image_.Height()), nullptr, &mask_);
}
