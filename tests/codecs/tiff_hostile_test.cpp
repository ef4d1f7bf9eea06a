// TIFF files that claim more than they hold: value counts up to 2^32 - 1,
// strips and tiles that name the same bytes many times or lack their byte
// counts, tiles larger than their picture. Each is refused with its message
// or read as far as its data goes, and the bytes each strip may read are
// bounded by what its rows can take.
#include <cstring>

#include "codecs/tiff.h"
#include "picture_files.h"
#include "platform/rtl/classes.h"

namespace {

// A TIFF whose entries are written as given, counts and all: the builder of
// picture_files.h derives each count from its values, these files must not.
struct RawTiff {
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    bool big = false;
    Bytes data = {};  // after the 8-byte header; offsets below count from the file's start
    std::vector<Entry> entries = {};

    // Appends a block at an even offset and returns that offset.
    uint32_t Append(const Bytes& block)
    {
        if (data.size() % 2) data.push_back(0);
        const auto at = uint32_t(8 + data.size());
        data.insert(data.end(), block.begin(), block.end());
        return at;
    }
    RawTiff& Tag(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
    {
        entries.push_back({tag, type, count, value});
        return *this;
    }
    // Values that do not fit their entry, in a block of their own.
    RawTiff& Longs(uint16_t tag, const std::vector<uint32_t>& values)
    {
        Bytes block;
        for (uint32_t v : values) Put(block, v, 4);
        return Tag(tag, Tiff::Long, uint32_t(values.size()), Append(block));
    }
    RawTiff& Picture(uint32_t w, uint32_t h, uint32_t bits, uint32_t samples, uint32_t photometric,
                     uint32_t compression)
    {
        return Tag(256, Tiff::Long, 1, w)
            .Tag(257, Tiff::Long, 1, h)
            .Tag(258, Tiff::Short, 1, bits)
            .Tag(259, Tiff::Short, 1, compression)
            .Tag(262, Tiff::Short, 1, photometric)
            .Tag(277, Tiff::Short, 1, samples);
    }
    void Put(Bytes& out, uint32_t v, int size) const
    {
        for (int i = 0; i < size; ++i) out.push_back(uint8_t(v >> (big ? 8 * (size - 1 - i) : 8 * i)));
    }
    operator Bytes() const
    {
        Bytes out = {uint8_t(big ? 'M' : 'I'), uint8_t(big ? 'M' : 'I')};
        Put(out, 42, 2);
        Bytes body = data;
        if (body.size() % 2) body.push_back(0);
        Put(out, uint32_t(8 + body.size()), 4);
        out.insert(out.end(), body.begin(), body.end());
        std::vector<Entry> sorted = entries;
        std::stable_sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        Put(out, uint32_t(sorted.size()), 2);
        for (const Entry& e : sorted) {
            Put(out, e.tag, 2);
            Put(out, e.type, 2);
            Put(out, e.count, 4);
            // A SHORT held in the entry sits in its first two bytes, whatever the byte order.
            if (e.type == Tiff::Short && e.count == 1) {
                Put(out, e.value, 2);
                Put(out, 0, 2);
            } else {
                Put(out, e.value, 4);
            }
        }
        Put(out, 0, 4);
        return out;
    }
};

const std::string kReadError = EReadError().what();

// ---- colour map ----------------------------------------------------------------

TEST(TiffHostile, ColourMapCountIsCheckedAgainstTheFile)
{
    struct Case {
        const char* name;
        bool big;
        uint32_t count;
    };
    const Case cases[] = {
        {"2^31 values: twice that wraps to 0 in 32 bits", false, 0x80000000u},
        {"2^31 + 1 values: twice that wraps to 2", false, 0x80000001u},
        {"2^31 + 1 values, big-endian", true, 0x80000001u},
        {"2^32 - 1 values", false, 0xFFFFFFFFu},
        {"2^30 values: 2 GB the file does not hold", false, 0x40000000u},
    };
    for (const Case& c : cases) {
        RawTiff t{.big = c.big};
        const uint32_t pixel = t.Append({0, 0});
        t.Picture(1, 1, 8, 1, 3, 1).Tag(273, Tiff::Long, 1, pixel).Tag(279, Tiff::Long, 1, 1);
        t.Tag(320, Tiff::Short, c.count, pixel);
        EXPECT_EQ(LoadError("tif", t), kReadError) << c.name;
    }
}

TEST(TiffHostile, ColourMapLongerThanAPaletteGivesItsFirstEntries)
{
    // 3 x 300 values: red, green and blue planes 300 values apart; a bitmap
    // palette takes the first 256 entries of each plane.
    std::vector<uint32_t> map(900);
    for (uint32_t i = 0; i < 300; ++i) map[i] = map[300 + i] = map[600 + i] = 0;
    map[5] = 0xFFFF, map[305] = 0x8080, map[605] = 0x1010;
    const Bytes file = Tiff().Picture(2, 1, 8, 1, 3, 1).Set(320, Tiff::Short, map).Strip({5, 0});
    EXPECT_EQ(Describe(*Load("tif", file), Row(0, 2)), "2x1/8 ff8010 00");
}

}  // namespace
