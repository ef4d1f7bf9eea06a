// Windows icon and cursor files.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/canvas.h"
#include "platform/gdi/dib.h"
#include "platform/picture/picture.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"

namespace {

const char* const kLabel = "ICO";

// The most an image's header is read for: its signature, its size field
// and the fields decoded (the rest of a longer header is skipped, not read;
// its colour table is charged as it is read).
constexpr uint64_t kHeaderWork = 4 + 124;

struct TCandidate {
    int64_t offset = 0;
    TDIBHeader header;
};

// The offsets of the entries' images, each once with the first entry that
// names it, in the order of those entries: entries that share an image
// have it looked at once.
std::vector<std::pair<int64_t, unsigned>> DistinctImages(const std::vector<uint8_t>& entries, unsigned count)
{
    std::vector<std::pair<int64_t, unsigned>> images(count);
    for (unsigned i = 0; i < count; ++i) images[i] = {ReadLE32(entries.data() + 16 * i + 12), i};
    std::sort(images.begin(), images.end());
    const auto sameImage = [](const auto& a, const auto& b) { return a.first == b.first; };
    images.erase(std::unique(images.begin(), images.end(), sameImage), images.end());
    std::sort(images.begin(), images.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    return images;
}

// Reads the header of the image at the offset into c; false for an image
// stored as PNG or one whose header this reader cannot decode.
bool ReadCandidate(TStream& stream, int64_t start, TCandidate& c)
{
    ChargeWork(kHeaderWork);
    stream.SetPosition(start + c.offset);
    uint8_t sig[4];
    if (stream.Read(sig, 4) != 4) return false;
    if (sig[0] == 0x89 && sig[1] == 'P' && sig[2] == 'N' && sig[3] == 'G') return false;
    stream.SetPosition(start + c.offset);
    try {
        c.header = ReadDIBHeader(stream, kLabel, true);
    } catch (const EInvalidGraphic&) {
        return false;
    } catch (const EReadError&) {
        return false;
    }
    return true;
}

// The largest image stored as a bitmap (the deepest among equally large
// ones, the first entry's among equals); its own header gives its size.
TCandidate LargestImage(TStream& stream, int64_t start)
{
    uint8_t dir[6];
    stream.ReadBuffer(dir, 6);
    const unsigned type = ReadLE16(dir + 2), count = ReadLE16(dir + 4);
    if (ReadLE16(dir) != 0 || (type != 1 && type != 2) || count == 0) RaiseInvalidImage(kLabel);
    std::vector<uint8_t> entries(static_cast<size_t>(count) * 16);
    stream.ReadBuffer(entries.data(), static_cast<int64_t>(entries.size()));
    bool found = false;
    TCandidate best;
    for (const auto& image : DistinctImages(entries, count)) {
        TCandidate c;
        c.offset = image.first;
        if (!ReadCandidate(stream, start, c)) continue;
        const int64_t area = int64_t(c.header.width) * c.header.height;
        const int64_t bestArea = int64_t(best.header.width) * best.header.height;
        if (!found || area > bestArea || (area == bestArea && c.header.bitCount > best.header.bitCount)) {
            best = std::move(c);
            found = true;
        }
    }
    if (!found) RaiseInvalidImage(kLabel);
    return best;
}

// The AND mask that follows the image: one bit per pixel, 1 where the icon
// is transparent; all clear when the file ends before it.
void ReadMask(TStream& stream, const TDIBHeader& h, TBitmap& mask)
{
    mask.SetPixelFormat(pf1bit);
    TLogPalette bw;
    bw.entries = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    mask.SetPalette(CreatePalette(bw));
    mask.SetSize(h.width, h.height);
    const int64_t stride = ((int64_t(h.width) + 31) / 32) * 4;
    if (stream.Remaining() < stride * h.height) return;
    ChargeWork(static_cast<uint64_t>(stride * h.height));
    for (int y = 0; y < h.height; ++y) stream.ReadBuffer(mask.ScanLine(h.topDown ? y : h.height - 1 - y), stride);
}

// Icons of 32 bits carry their transparency in the alpha bytes as well:
// when any alpha byte is set, pixels less than half opaque join the mask.
void AddAlphaToMask(const TBitmap& image, TBitmap& mask)
{
    const int w = image.Width(), h = image.Height();
    ChargeWork(2 * uint64_t(image.RowBytes()) * uint64_t(h));
    bool anyAlpha = false;
    for (int y = 0; y < h && !anyAlpha; ++y) {
        const uint8_t* row = image.ScanLine(y);
        for (int x = 0; x < w && !anyAlpha; ++x) anyAlpha = row[4 * x + 3] != 0;
    }
    if (!anyAlpha) return;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = image.ScanLine(y);
        uint8_t* m = mask.ScanLine(y);
        for (int x = 0; x < w; ++x)
            if (row[4 * x + 3] < 128) m[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
}

// Reads the icon at the stream's position into the image and its mask.
void LoadIcon(TStream& stream, TBitmap& imageOut, TBitmap& maskOut)
{
    const int64_t start = stream.Position();
    const TCandidate best = LargestImage(stream, start);
    stream.SetPosition(start + best.offset);
    const TDIBHeader h = ReadDIBHeader(stream, kLabel, true);
    // The image and its mask are one picture: together they may take what
    // one bitmap may (16-bit images may widen to 32 bits).
    const int imageBits = h.bitCount == 16 ? 32 : h.bitCount;
    const int64_t maskBytes = int64_t(BytesPerScanline(h.width, 1)) * h.height;
    const int64_t pictureBytes = int64_t(BytesPerScanline(h.width, imageBits)) * h.height + maskBytes;
    if (pictureBytes > BitmapMemoryLimit) throw EOutOfResources();
    GrantOutputWork(static_cast<uint64_t>(maskBytes));
    TBitmap image, mask;
    ReadDIBPixels(stream, h, image, kLabel);
    ReadMask(stream, h, mask);
    if (h.bitCount == 32) AddAlphaToMask(image, mask);
    imageOut.SwapImage(image);
    maskOut.SwapImage(mask);
}

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
    MeteredLoad(
        static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)), [&] { LoadIcon(stream, image_, mask_); },
        [] { RaiseInvalidImage(kLabel); });
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
