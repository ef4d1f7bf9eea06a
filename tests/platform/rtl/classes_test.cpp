#include <gtest/gtest.h>

#include <numeric>

#include "platform/rtl/classes.h"
#include "support/temp_dir.h"

namespace {

TEST(Streams, MemoryStreamPositionSizeAndReads)
{
    TMemoryStream s;
    const uint8_t data[] = {1, 2, 3, 4, 5};
    s.WriteBuffer(data, 5);
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Position(), 5);
    s.SetPosition(1);
    uint8_t out[8] = {};
    EXPECT_EQ(s.Read(out, 8), 4);  // the counting read stops at the end
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(s.Read(out, 1), 0);
    s.SetPosition(3);
    EXPECT_THROW(s.ReadBuffer(out, 3), EReadError);  // the raising read
    s.SetPosition(3);
    EXPECT_EQ(s.Remaining(), 2);
    s.Seek(-1, soEnd);
    EXPECT_EQ(s.Position(), 4);
    s.Seek(-2, soCurrent);
    EXPECT_EQ(s.Position(), 2);
    EXPECT_THROW(s.Seek(-10, soCurrent), EStreamError);
    s.Seek(10, soBeginning);  // past the end is allowed; a write fills the gap
    EXPECT_EQ(s.Remaining(), 0);
    s.WriteBuffer(data, 1);
    EXPECT_EQ(s.Size(), 11);
    EXPECT_EQ(s.Memory()[7], 0);
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2);
    try {
        s.ReadBuffer(out, 1);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
}

TEST(Streams, FileStreamBuffersReadsAndSeeksFreely)
{
    TempDir dir;
    std::vector<uint8_t> bytes(200000);
    std::iota(bytes.begin(), bytes.end(), 0);
    {
        TFileStream out(dir.file("f.bin"), fmCreate);
        out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        EXPECT_EQ(out.Size(), 200000);
    }
    TFileStream in(dir.file("f.bin"), fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(in.Size(), 200000);
    uint8_t b[4];
    for (int64_t pos : {0, 70000, 65535, 199998, 3, 131072}) {
        in.SetPosition(pos);
        const int64_t got = in.Read(b, 4);
        ASSERT_EQ(got, std::min<int64_t>(4, 200000 - pos));
        for (int64_t i = 0; i < got; ++i) EXPECT_EQ(b[i], static_cast<uint8_t>(pos + i)) << pos;
    }
    std::vector<uint8_t> big(150000);
    in.SetPosition(10);
    in.ReadBuffer(big.data(), 150000);
    EXPECT_EQ(big[149999], static_cast<uint8_t>(150009));
    in.SetPosition(199999);
    EXPECT_THROW(in.ReadBuffer(b, 2), EReadError);
    EXPECT_THROW(TFileStream(dir.file("missing"), fmOpenRead), EInOutError);
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EInOutError);
}

TEST(Streams, WritesThroughAFileStreamAreSeenByLaterReads)
{
    TempDir dir;
    TFileStream f(dir.file("g.bin"), fmCreate);
    const uint8_t a[] = {1, 2, 3, 4};
    f.WriteBuffer(a, 4);
    f.SetPosition(0);
    uint8_t b[4];
    f.ReadBuffer(b, 4);
    f.SetPosition(1);
    const uint8_t nine = 9;
    f.WriteBuffer(&nine, 1);
    f.SetPosition(0);
    f.ReadBuffer(b, 4);
    EXPECT_EQ(b[1], 9);
    TMemoryStream m;
    f.SetPosition(0);
    m.CopyFrom(f, 0);
    EXPECT_EQ(m.Size(), 4);
    m.SaveToFile(dir.file("copy.bin"));
    EXPECT_EQ(ReadFileBytes(dir.file("copy.bin")), (std::vector<uint8_t>{1, 9, 3, 4}));
}

}  // namespace
