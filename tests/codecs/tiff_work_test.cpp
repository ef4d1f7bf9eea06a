// The work a TIFF load does is paid for by the bytes of the file and by the
// picture it makes. Each load here runs with the work that any load may do
// whatever its size already spent, but for its own set-up (its colour
// tables), so that only what the file's bytes and its picture grant is
// left: a sound file reads within that, and a crafted one of the same size,
// whose strips, tiles or reads multiply the work, is refused once it is
// spent.
#include "codecs/tiff.h"
#include "picture_files.h"
#include "platform/rtl/work_meter.h"

namespace {

// What a load sets up whatever its file: a gamma table, a palette.
constexpr uint64_t kLoadSetUp = uint64_t(1) << 20;

// "read", "work spent" or the message of another error.
std::string LoadPaidByTheFile(const Bytes& file)
{
    TWorkScope scope(file.size());
    scope.Meter().Charge(TWorkMeter::BaseAllowance - kLoadSetUp);
    try {
        Load("tif", file);
        return "read";
    } catch (const EWorkSpent&) {
        return "work spent";
    } catch (const std::exception& e) {
        return e.what();
    }
}

// `strips` one-row strips of 8 pixels: each its own copy of the data, or
// all naming one copy; offsets and byte counts of `type`.
Bytes Strips(uint32_t compression, const Bytes& data, uint32_t strips, bool shared, uint16_t type)
{
    TTiffWriter t;
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < (shared ? 1 : strips); ++i) offsets.push_back(t.Append(data));
    offsets.resize(strips, offsets[0]);
    t.Picture(8, strips, 8, 1, 1, compression).Tag(278, Tiff::Long, 1, 1);
    t.Values(273, type, offsets).Values(279, type, std::vector<uint32_t>(strips, uint32_t(data.size())));
    return t;
}

TEST(TiffWork, StripsNamingOneStreamPayForEachStripSetUp)
{
    // Strips whose offsets and counts take a byte each, all naming one
    // stream: a decoder made ready for every two bytes of the file. The same
    // strips each with their own data, listed as LONG values, read.
    const Bytes packBits = {7, 1, 2, 3, 4, 5, 6, 7, 8}, deflate = ZlibCompress(Bytes(8, 1), 9);
    for (const auto& [name, compression, data] :
         {std::tuple{"PackBits", 32773u, packBits}, std::tuple{"deflate", 8u, deflate}}) {
        EXPECT_EQ(LoadPaidByTheFile(Strips(compression, data, 20000, false, Tiff::Long)), "read") << name;
        EXPECT_EQ(LoadPaidByTheFile(Strips(compression, data, 200000, true, Tiff::Byte)), "work spent") << name;
    }
}

TEST(TiffWork, UnlistedTilesPayForTheirLookUp)
{
    // A 1024 x 1024 gray picture whose tile list names one tile: in tiles of
    // 16 x 16 the rest of the picture is cleared within its own work; in
    // tiles of one pixel every tile's look-up costs more than it gives.
    for (const auto& [side, expected] : {std::pair{16u, "read"}, std::pair{1u, "work spent"}}) {
        TTiffWriter t;
        const uint32_t at = t.Append(Bytes(size_t(side) * side, 0x40));
        t.Picture(1024, 1024, 8, 1, 1, 1).Tag(322, Tiff::Long, 1, side).Tag(323, Tiff::Long, 1, side);
        t.Tag(324, Tiff::Long, 1, at).Tag(325, Tiff::Long, 1, side * side);
        EXPECT_EQ(LoadPaidByTheFile(t), expected) << side;
    }
}

TEST(TiffWork, StripsReadingOneStreamAgainPayForWhatTheyRead)
{
    // One-row deflate strips whose row lies behind 100 KB of empty blocks:
    // one strip reads through them; 200 strips naming that one stream read
    // them 200 times over.
    const Bytes stream = DeflateAfterEmptyBlocks(Bytes(8, 0x33), 20000);
    EXPECT_EQ(LoadPaidByTheFile(Strips(8, stream, 1, false, Tiff::Long)), "read");
    EXPECT_EQ(LoadPaidByTheFile(Strips(8, stream, 200, true, Tiff::Long)), "work spent");
}

TEST(TiffWork, LargePicturesAreReadWithinTheWorkTheirPixelsGrant)
{
    // Pictures whose few bytes decode to many: the work of decoding,
    // converting and storing their pixels is theirs, in strips, planes and
    // tiles, and with the samples twice the bitmap's bytes and more.
    auto zeros = [](uint64_t bytes) { return TDeflater().Zeros(bytes).Finish(); };
    EXPECT_EQ(LoadPaidByTheFile(Tiff().Picture(2048, 1024, 16, 4, 5, 8).Strip(zeros(uint64_t(2048) * 1024 * 8))),
              "read");
    EXPECT_EQ(LoadPaidByTheFile(Tiff()
                                    .Picture(2048, 1024, 8, 3, 2, 8)
                                    .Set(284, Tiff::Short, {2})
                                    .Strip(zeros(2048 * 1024))
                                    .Strip(zeros(2048 * 1024))
                                    .Strip(zeros(2048 * 1024))),
              "read");
    EXPECT_EQ(LoadPaidByTheFile(Tiff()
                                    .Picture(2049, 1025, 16, 1, 1, 8)
                                    .Set(322, Tiff::Long, {2048})
                                    .Set(323, Tiff::Long, {1024})
                                    .Strip(zeros(2048 * 1024 * 2))
                                    .Strip(zeros(2048 * 1024 * 2))
                                    .Strip(zeros(2048 * 1024 * 2))
                                    .Strip(zeros(2048 * 1024 * 2))),
              "read");
}

}  // namespace
