// The work of the toolkit's own readers, counted as the work meter counts
// it: each reader's load charges what it does, a load inside another spends
// the outer load's work, and an icon's entries that share an image have it
// read once.
#include <gtest/gtest.h>

#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"
#include "support/byte_writer.h"
#include "support/counting_stream.h"
#include "support/jpeg_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An info header of 40 bytes for a picture of the depth and compression,
// and a colour table of `colours` grey entries.
TByteWriter& InfoHeader(TByteWriter& w, int width, int height, int bits, int compression, int colours)
{
    w.LE32(40).LE32(static_cast<uint32_t>(width)).LE32(static_cast<uint32_t>(height)).LE16(1).LE16(bits);
    w.LE32(static_cast<uint32_t>(compression)).LE32(0).LE32(2835).LE32(2835);
    w.LE32(static_cast<uint32_t>(colours)).LE32(0);
    for (int i = 0; i < colours; ++i) w.LE32(static_cast<uint32_t>(i) * 0x010101u);
    return w;
}

// A 64 x 64 bitmap file of 8-bit runs: a run of 64 pixels and an end of
// line for every row.
Bytes RunLengthBitmap()
{
    TByteWriter info;
    InfoHeader(info, 64, 64, 8, 1, 2);
    TByteWriter f;
    f.Text("BM").LE32(0).LE32(0).LE32(static_cast<uint32_t>(14 + info.Bytes.size())).Append(info.Bytes);
    for (int y = 0; y < 64; ++y) f.List({64, 1, 0, 0});
    return f.List({0, 1}).Bytes;
}

// A 64 x 64 icon of 32 bits with its mask; its directory has `entries`
// entries that all name that one image.
Bytes Icon(unsigned entries)
{
    const uint32_t offset = 6 + 16 * entries;
    TByteWriter f;
    f.LE16(0).LE16(1).LE16(entries);
    for (unsigned i = 0; i < entries; ++i)
        f.List({64, 64, 0, 0, 1, 0, 32, 0}).LE32(40 + 64 * 64 * 4 + 512).LE32(offset);
    InfoHeader(f, 64, 128, 32, 0, 0);
    return f.Fill(64 * 64 * 4, 0x80).Fill(512).Bytes;
}

Bytes Jpeg() { return TJpegFile(true, 64, 64, {{1, 0x11}}, 0x00).Scan({1}, 0, 0, 0, {}).Done(); }

// Loads the 64 x 64 picture inside another load (a container's) and
// returns the work it charged to that load, or 0 when it did not load.
template <class T>
uint64_t WorkOfLoadInside(const Bytes& bytes)
{
    TWorkScope outer(0);
    TMemoryStream s(bytes.data(), bytes.size());
    T graphic;
    graphic.LoadFromStream(s);
    return graphic.Width() == 64 ? outer.Meter().Spent() : 0;
}

// Each reader charges at least a unit for each of the picture's pixels, and
// no more than the picture's allowance: the load it runs in counts it.
TEST(ReaderWork, EachReaderChargesTheLoadItRunsIn)
{
    const struct {
        const char* name;
        uint64_t (*load)(const Bytes&);
        Bytes file;
    } cases[] = {
        {"bitmap of runs", WorkOfLoadInside<TBitmap>, RunLengthBitmap()},
        {"icon", WorkOfLoadInside<TIcon>, Icon(1)},
        {"JPEG", WorkOfLoadInside<TJPEGImage>, Jpeg()},
    };
    for (const auto& c : cases) {
        const uint64_t work = c.load(c.file);
        EXPECT_GE(work, 64u * 64) << c.name;
        EXPECT_LE(work, TWorkMeter::BaseAllowance) << c.name;
    }
}

TEST(ReaderWork, AnImageThatIconEntriesShareIsReadOnce)
{
    const Bytes one = Icon(1), many = Icon(65535);
    TCountingStream a(one.data(), one.size()), b(many.data(), many.size());
    TIcon first, second;
    first.LoadFromStream(a);
    second.LoadFromStream(b);
    EXPECT_EQ(second.Width(), 64);
    // The longer directory is read; the image, its header and its mask no
    // more often than for one entry.
    EXPECT_EQ(b.BytesRead - a.BytesRead, int64_t(16) * 65534);
    EXPECT_EQ(second.Image().GetPixel(3, 5), first.Image().GetPixel(3, 5));
}

}  // namespace
