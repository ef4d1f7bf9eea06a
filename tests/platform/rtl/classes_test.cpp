#include <gtest/gtest.h>

#include <numeric>

#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"
#include "support/temp_dir.h"

TEST(Streams, MemoryStreamReadsSeeksAndGrows)
{
    const uint8_t data[] = {1, 2, 3, 4, 5};
    TMemoryStream s(data, 5);
    uint8_t out[8] = {};
    s.SetPosition(1);
    EXPECT_EQ(s.Read(out, 8), 4);  // the counting read stops at the end
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(s.Read(out, 1), 0);
    s.SetPosition(3);
    EXPECT_THROW(s.ReadBuffer(out, 3), EReadError);  // the raising read
    EXPECT_EQ(s.Seek(-1, soEnd), 4);
    EXPECT_EQ(s.Seek(-2, soCurrent), 2);
    EXPECT_THROW(s.Seek(-10, soCurrent), EStreamError);
    s.Seek(10, soBeginning);  // past the end is allowed; a write fills the gap
    s.WriteBuffer(data, 1);
    EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 1}));
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2);
}

TEST(Streams, FileStreamBuffersReadsAndSeesItsOwnWrites)
{
    TempDir dir;
    std::vector<uint8_t> bytes(200000), b(150000);
    std::iota(bytes.begin(), bytes.end(), 0);
    TMemoryStream(bytes.data(), bytes.size()).SaveToFile(dir.file("f.bin"));
    TFileStream in(dir.file("f.bin"), fmOpenRead | fmShareDenyWrite);
    // Reads inside, across and past the 64 KiB buffer, and one larger than it.
    for (auto [pos, n] : {std::pair{0, 4}, {65534, 4}, {70000, 4}, {199998, 4}, {3, 4}, {10, 150000}}) {
        in.SetPosition(pos);
        ASSERT_EQ(in.Read(b.data(), n), std::min(n, 200000 - pos));
        EXPECT_TRUE(std::equal(b.begin(), b.begin() + std::min(n, 200000 - pos), bytes.begin() + pos)) << pos;
    }
    in.SetPosition(199999);
    EXPECT_THROW(in.ReadBuffer(b.data(), 2), EReadError);
    try {
        TFileStream missing(dir.file("missing"), fmOpenRead);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::pair(e.Path(), e.ErrorCode()), std::pair(dir.file("missing"), ENOENT));
    }
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EInOutError);
    // A write through the stream is seen by a read that had the old bytes buffered.
    TFileStream f(dir.file("g.bin"), fmCreate);
    const uint8_t a[] = {1, 2, 3, 4}, nine = 9;
    f.WriteBuffer(a, 4);
    f.SetPosition(0);
    f.ReadBuffer(b.data(), 4);
    f.SetPosition(1);
    f.WriteBuffer(&nine, 1);
    TMemoryStream m;
    m.CopyFrom(f, 0);
    EXPECT_EQ(m.Bytes(), (std::vector<uint8_t>{1, 9, 3, 4}));
}

TEST(Streams, FileStreamChargesTheLoadForWhatItReadsFromTheFile)
{
    TempDir dir;
    std::vector<uint8_t> bytes(1 << 20);
    std::iota(bytes.begin(), bytes.end(), uint8_t(0));
    WriteFileBytes(dir.file("f"), bytes);
    TFileStream s(dir.file("f"), fmOpenRead);
    TWorkScope load(0);
    const uint64_t before = load.Meter().Spent();
    uint8_t b = 0;
    // Bytes read one after the other come from one read of the file.
    for (int i = 0; i < 100; ++i) s.ReadBuffer(&b, 1);
    const uint64_t window = load.Meter().Spent() - before;
    EXPECT_GT(window, 100u);
    // A byte far from the last read costs another read of the file.
    s.SetPosition(512 << 10);
    s.ReadBuffer(&b, 1);
    EXPECT_EQ(b, uint8_t(512 << 10));
    EXPECT_EQ(load.Meter().Spent() - before, 2 * window);
    // A read larger than the buffer goes straight to the file and costs its bytes.
    s.SetPosition(768 << 10);
    std::vector<uint8_t> large(size_t(window) * 2);
    s.ReadBuffer(large.data(), int64_t(large.size()));
    EXPECT_EQ(load.Meter().Spent() - before, 4 * window);
}
