// The Paint Shop Pro reader walks blocks inside blocks: every read stays within the block or chunk it belongs to,
// whatever its length fields say, so that no two parts of a file can name the same bytes.
#include "picture_files.h"
#include "support/scoped_value.h"

namespace {

// Version 5 blocks, their total length as given or as their body's.
Bytes Block(int type, const Bytes& body, uint32_t length)
{
    return TByteWriter().Text("~BK").U8(0).LE16(unsigned(type)).LE32(length).Append(body).Bytes;
}
Bytes Block(int type, const Bytes& body) { return Block(type, body, uint32_t(body.size())); }

// The header and attributes of a 4 x 2 colour picture of plain channels.
Bytes Start()
{
    TByteWriter a;
    a.LE32(46).LE32(4).LE32(2).Fill(8).U8(0).LE16(0).LE16(24).LE16(3).LE32(1u << 24).U8(0).Fill(14);
    return TByteWriter().Text("Paint Shop Pro Image File\n\x1a", 32).LE16(5).LE16(0).Append(Block(0, a.Bytes)).Bytes;
}

// The information chunk of a raster layer whose name is `name` bytes long (and claims `nameLength`).
Bytes LayerInfo(unsigned nameLength = 0, size_t name = 0)
{
    return TByteWriter().LE32(uint32_t(4 + 2 + name + 115)).LE16(nameLength).Fill(name, 'a').U8(0).Fill(114).Bytes;
}
Bytes BitmapInfo(unsigned channels, uint32_t length = 8)
{
    return TByteWriter().LE32(length).LE16(1).LE16(channels).Bytes;
}
// A channel block of the type; its data as stored, claiming `compressed` bytes.
Bytes Channel(int type, const Bytes& data, uint32_t compressed)
{
    const Bytes body = TByteWriter().LE32(16).LE32(compressed).LE32(8).LE16(0).LE16(unsigned(type)).Append(data).Bytes;
    return Block(5, body);
}
Bytes Channel(int type, const Bytes& data) { return Channel(type, data, uint32_t(data.size())); }
Bytes Red(uint8_t level) { return Channel(1, Bytes(8, level)); }

// A bank of one raster layer: its information chunks, then the channel blocks.
Bytes Bank(const Bytes& info, const Bytes& bitmapInfo, const Bytes& channels)
{
    return Block(3, Block(4, Join({info, bitmapInfo, channels})));
}

}  // namespace

TEST(PaintShopProReader, ReadsStayWithinTheirBlock)
{
    const Bytes start = Start();
    // Two banks whose bitmap information chunks claim to run to a list of channels after both banks: each bank would
    // read the list again. The first bank's chunk starts after the header and 10 + 10 + 121 bytes.
    const Bytes shared = Red(0x40);
    const size_t bank = 10 + 10 + 121 + 8, first = start.size() + 141, list = start.size() + 2 * bank;
    const Bytes sharedList = Join({start, Bank(LayerInfo(), BitmapInfo(1, uint32_t(list - first)), {}),
                                   Bank(LayerInfo(), BitmapInfo(1, uint32_t(list - first - bank)), {}), shared});
    // A layer block claiming more than its bank holds: the layer is cut at the bank's end, and its data lies within.
    Bytes longLayer = Bank(LayerInfo(), BitmapInfo(1), Red(0x50));
    longLayer = Patch(longLayer, 16, {0xFF, 0xFF, 0xFF, 0x7F});
    const struct {
        const char* name;
        Bytes file;
        std::string expected;  // the top left and bottom right pixels, or the message of the error loading raises
    } cases[] = {
        {"a layer of red", Join({start, Bank(LayerInfo(), BitmapInfo(1), Red(0x40))}), "4x2/24 400000 400000"},
        {"a named layer", Join({start, Bank(LayerInfo(5, 5), BitmapInfo(1), Red(0x40))}), "4x2/24 400000 400000"},
        {"a layer block longer than its bank", Join({start, longLayer}), "4x2/24 500000 500000"},
        {"banks naming one list of channels after them", sharedList, "Stream read error"},
        {"a layer name past its chunk", Join({start, Bank(LayerInfo(200, 5), BitmapInfo(1), Red(0x40))}),
         "Stream read error"},
        {"channel data past its block",
         Join({start, Bank(LayerInfo(), BitmapInfo(1), Channel(1, Bytes(8, 1), 9)), Red(2)}), "Stream read error"},
        {"a channel past its layer", Join({start, Bank(LayerInfo(), BitmapInfo(2), Red(0x40)), Red(2)}),
         "Stream read error"},
        {"palette entries past their block",
         Join({start, Block(2, TByteWriter().LE32(8).LE32(2).Bytes), Bank(LayerInfo(), BitmapInfo(1), Red(0x40))}),
         "Stream read error"},
        {"a palette block of its entries",
         Join({start, Block(2, TByteWriter().LE32(8).LE32(1).List({1, 2, 3, 0}).Bytes),
               Bank(LayerInfo(), BitmapInfo(1), Red(0x40))}),
         "4x2/24 400000 400000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TCountedLoad load = LoadCounting("psp", c.file);
        EXPECT_EQ(load.Outcome({{0, 0}, {3, 1}}), c.expected);
        EXPECT_LE(load.bytesRead, int64_t(c.file.size()));
    }
}

// A picture is refused only when its bitmap would pass the memory a bitmap may take (lowered here to reach it with
// small files): 24-bit rows of 4 pixels take 12 bytes.
TEST(PaintShopProReader, BitmapsUpToTheLimit)
{
    const TScopedValue limit(BitmapMemoryLimit, 12 * 2);
    const Bytes file = Join({Start(), Bank(LayerInfo(), BitmapInfo(1), Red(0x40))});
    EXPECT_EQ(Describe(*Load("psp", file), {{3, 1}}), "4x2/24 400000");
    BitmapMemoryLimit = 12 * 2 - 1;
    EXPECT_EQ(LoadError("psp", file), "Not enough storage is available to process this command.");
}
