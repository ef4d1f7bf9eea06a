// The compression wrapper and the buffered file, checked against zlib itself.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "level/parallel_deflate.h"
#include "level/zfiles.h"
#include "level/zlibwrap.h"
#include "mem_block_match.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"
#include "support/zlib_stream.h"

namespace {

std::vector<uint8_t> Pattern(size_t n, uint32_t noise = 0)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(noise ? (noise = noise * 1103515245u + 12345u) >> 24 : (i * 7 + i / 256) & 0xFF);
    return v;
}

uint32_t U32At(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}

void WriteThrough(const std::string& name, const std::vector<uint8_t>& content, bool compressed)
{
    TZFile f;
    zAssignFile(f, name);
    zRewrite(f, 1);
    zBlockWrite(f, content.data(), static_cast<int32_t>(content.size()));
    f.compressed = compressed ? 1 : 0;
    zCloseFile(f, true);
}

// The content and the compressed flag of a file read through the buffered file.
std::pair<std::vector<uint8_t>, int> ReadThrough(const std::string& name)
{
    TZFile f;
    zAssignFile(f, name);
    zReset(f, 1);
    std::pair<std::vector<uint8_t>, int> r{std::vector<uint8_t>(f.buffer, f.buffer + zFileSize(f)), f.compressed};
    zCloseFile(f, false);
    return r;
}

}  // namespace

TEST(ZlibWrap, RoundTripsThroughZlibAndRefusesDamage)
{
    for (const auto& data : {Pattern(100000), Pattern(70000, 12345)}) {  // compressible, and noise that grows
        TMemBlock packed;
        CompressBuf(data.data(), static_cast<int32_t>(data.size()), packed);
        std::vector<uint8_t> check(data.size());
        uLongf n = check.size();
        ASSERT_EQ(uncompress(check.data(), &n, packed.data(), packed.length()), Z_OK);
        EXPECT_EQ(check, data);
        for (int32_t estimate : {0, 1, 1000, 100000, 500000}) {
            TMemBlock out;
            ASSERT_TRUE(DecompressBuf(packed.data(), packed.length(), estimate, out)) << estimate;
            EXPECT_TRUE(SameBlock(out, data)) << estimate;
        }
        // A stream cut short keeps its output block; a limit below the content is damage.
        TMemBlock out;
        EXPECT_FALSE(DecompressBuf(packed.data(), packed.length() / 2, 50000, out));
        EXPECT_EQ(out.length(), 50000);
        EXPECT_FALSE(DecompressBuf(packed.data(), packed.length(), 0, out, 1000));
        EXPECT_LE(out.length(), 1000);
    }
    std::vector<uint8_t> junk(100, 0xAB);
    TMemBlock out;
    EXPECT_FALSE(DecompressBuf(junk.data(), 100, 0, out));
}

TEST(ZlibWrap, BlocksDeflatedSideBySideMakeOneOrdinaryStream)
{
    // A random stretch repeated: only a block that sees the content before
    // it (its dictionary) finds the repeats.
    std::vector<uint8_t> data(300000);
    uint32_t s = 777;
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = i < 3000 ? uint8_t((s = s * 1103515245u + 12345u) >> 24) : data[i - 3000];
    auto deflate = [](const std::vector<uint8_t>& content, int threads, size_t block) {
        std::vector<uint8_t> out;
        TParallelDeflate d([&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }, threads, block);
        for (size_t at = 0; at < content.size(); at += 70001)
            d.Write(content.data() + at, std::min<size_t>(70001, content.size() - at));
        d.Finish();
        EXPECT_EQ(d.TotalIn(), content.size());
        EXPECT_EQ(d.TotalOut(), out.size());
        return out;
    };
    for (size_t block : {size_t(1000), size_t(4096), size_t(65536)}) {
        const auto one = deflate(data, 1, block);
        EXPECT_EQ(deflate(data, 3, block), one) << block;
        std::vector<uint8_t> back(data.size());
        uLongf n = back.size();
        ASSERT_EQ(uncompress(back.data(), &n, one.data(), one.size()), Z_OK) << block;
        EXPECT_EQ(back, data) << block;
        EXPECT_LT(one.size(), data.size() / 30) << block;
    }
    // Content within one block: exactly what deflate gives alone.
    EXPECT_EQ(deflate(data, 4, data.size()), ZlibCompress(data, 9));
    EXPECT_EQ(deflate({}, 4, 4096), ZlibCompress({}, 9));
}

TEST(ZFile, WritesGrowTheBufferAndReadsAreClipped)
{
    TempDir dir;
    TZFile f;
    zAssignFile(f, dir.file("g"));
    zRewrite(f, 1);
    EXPECT_EQ(f.capacity, ZFILE_GROWTH);
    const auto big = Pattern(300000);
    zBlockWrite(f, big.data(), 300000);
    EXPECT_EQ(f.capacity, 300000 + ZFILE_GROWTH);
    // Overwriting in the middle keeps the size; the record size multiplies counts.
    zSeek(f, 10);
    f.recordSize = 4;
    const uint8_t four[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    zBlockWrite(f, four, 2);
    EXPECT_EQ(std::make_pair(zFilePos(f), zFileSize(f)), std::make_pair(18, 300000));
    zCloseFile(f, true);
    EXPECT_EQ(std::make_pair(f.size, f.capacity), std::make_pair(0, 0));
    auto expected = big;
    std::copy(four, four + 8, expected.begin() + 10);
    EXPECT_EQ(ReadFileBytes(dir.file("g")), expected);

    WriteFileBytes(dir.file("r"), std::vector<uint8_t>{1, 2, 3, 4, 5});
    zAssignFile(f, dir.file("r"));
    zReset(f, 1);
    uint8_t buf[8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(zBlockRead(f, buf, 8), 5);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 0xEE}));
    zSeek(f, 100);
    EXPECT_EQ(zFilePos(f), 5);
    EXPECT_EQ(zBlockRead(f, buf, 1), 0);
    // Writes to a buffer opened for reading are dropped on closing.
    zSeek(f, 0);
    zBlockWrite(f, four, 2);
    zCloseFile(f, false);
    EXPECT_EQ(ReadFileBytes(dir.file("r")), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(ZFile, CompressedContainersAndPlainFiles)
{
    TempDir dir;
    for (const size_t size : {size_t(123457), size_t(0)}) {
        const auto content = Pattern(size);
        WriteThrough(dir.file("c"), content, true);
        const auto disk = ReadFileBytes(dir.file("c"));
        ASSERT_GT(disk.size(), 12u);
        EXPECT_EQ(std::memcmp(disk.data(), "ZLIB", 4), 0);
        EXPECT_EQ(U32At(disk, 4), disk.size() - 12);
        EXPECT_EQ(U32At(disk, 8), content.size());
        std::vector<uint8_t> check(content.size() + 1);
        uLongf n = check.size();
        ASSERT_EQ(uncompress(check.data(), &n, disk.data() + 12, disk.size() - 12), Z_OK);
        EXPECT_EQ(std::vector<uint8_t>(check.begin(), check.begin() + std::ptrdiff_t(n)), content);
        EXPECT_EQ(ReadThrough(dir.file("c")), std::make_pair(content, 1));
    }
    // A file of exactly 12 bytes that begins with "ZLIB" is read plain, as is an empty one.
    const std::vector<uint8_t> twelve = {'Z', 'L', 'I', 'B', 1, 0, 0, 0, 1, 0, 0, 0};
    WriteFileBytes(dir.file("12"), twelve);
    EXPECT_EQ(ReadThrough(dir.file("12")), std::make_pair(twelve, 0));
    WriteFileBytes(dir.file("0"), std::vector<uint8_t>{});
    EXPECT_EQ(ReadThrough(dir.file("0")), std::make_pair(std::vector<uint8_t>{}, 0));
    // The compressed store replaces a longer open file whole.
    WriteFileBytes(dir.file("r"), Pattern(300000));
    const auto content = Pattern(5000);
    const int fd = ::open(dir.file("r").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    zWriteCompressed(fd, dir.file("r"), content.data(), static_cast<int32_t>(content.size()));
    ::close(fd);
    EXPECT_EQ(ReadThrough(dir.file("r")), std::make_pair(content, 1));
}

TEST(ZFile, DamagedContainersShowTheMessageOnceAndKeepWhatInflated)
{
    TempDir dir;
    WriteThrough(dir.file("d"), Pattern(200000), true);
    auto disk = ReadFileBytes(dir.file("d"));
    disk.resize(12 + (disk.size() - 12) / 2);  // the stream cut, the claimed sizes kept
    WriteFileBytes(dir.file("d"), disk);
    // A huge claimed size does not allocate without bound.
    WriteFileBytes(dir.file("h"),
                   std::vector<uint8_t>{'Z', 'L', 'I', 'B', 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4});
    for (const char* name : {"d", "h"}) {
        TRecordingSink sink;
        TScopedMessageSink scope(sink);
        const auto [content, compressed] = ReadThrough(dir.file(name));
        EXPECT_EQ(compressed, 1);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{ZLIB_DATA_ERROR});
        const size_t bound = std::string(name) == "d" ? 200000u : 1032u * 4 + 1024;
        EXPECT_THAT(content.size(), testing::AllOf(testing::Gt(0u), testing::Le(bound))) << name;
    }
}

TEST(ZFile, MissingFilesAndOpenModes)
{
    TempDir dir;
    TZFile f;
    zAssignFile(f, dir.file("missing"));
    EXPECT_THROW(zReset(f, 1), EInOutError);
    WriteFileBytes(dir.file("ro"), std::vector<uint8_t>{7});
    ::chmod(dir.file("ro").c_str(), 0444);
    zAssignFile(f, dir.file("ro"));
    const bool superuser = ::geteuid() == 0;  // who may write to it anyway
    if (!superuser) { EXPECT_THROW(zReset(f, 1, fmOpenReadWrite), EInOutError); }
    zReset(f, 1, fmOpenRead);
    EXPECT_EQ(zFileSize(f), 1);
    zCloseFile(f, false);
}

// A large output costs few moves of what was inflated before it: the block
// doubles rather than growing by one compressed size at a time.
TEST(ZlibWrap, OutputGrowsGeometricallyFromTheEstimate)
{
    const std::vector<uint8_t> zeros(16 << 20, 0);
    const std::vector<uint8_t> stream = ZlibCompress(zeros, 9);
    struct Case {
        int32_t estimate;
        int32_t most;  // resizes, the final trim included
    };
    for (const Case c : {Case{0, 13}, Case{1, 14}, Case{1 << 20, 6}, Case{16 << 20, 2}}) {
        TMemBlock out;
        ASSERT_TRUE(DecompressBuf(stream.data(), static_cast<int32_t>(stream.size()), c.estimate, out)) << c.estimate;
        EXPECT_TRUE(SameBlock(out, zeros)) << c.estimate;
        EXPECT_LE(out.resizes(), c.most) << c.estimate;
    }
    // Moving a block moves its count; emptying it restarts the count.
    TMemBlock a;
    a.resize(10);
    a.resize(20);
    TMemBlock b = std::move(a);
    EXPECT_EQ(b.resizes(), 2);
    EXPECT_EQ(a.resizes(), 0);
    b.reset();
    EXPECT_EQ(b.resizes(), 0);
}

// The sizes in a container's head are claims: a stream of garbage claiming
// 2 GB reserves no more than a few times its own size before it fails.
TEST(ZFile, ClaimedContentSizesReserveNothingBeforeTheStreamProducesIt)
{
    TempDir dir;
    std::vector<uint8_t> file = {'Z', 'L', 'I', 'B', 0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x78, 0xDA};
    const std::vector<uint8_t> garbage = Pattern(65536 - 2, 99);
    file.insert(file.end(), garbage.begin(), garbage.end());
    WriteFileBytes(dir.file("g"), file);
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    TZFile f;
    zAssignFile(f, dir.file("g"));
    zReset(f, 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{ZLIB_DATA_ERROR});
    EXPECT_EQ(f.compressed, 1);
    EXPECT_LE(zFileSize(f), 4 * 65536 + 65536);
    zCloseFile(f, false);
}

// A file whose content is all there but more than the caller can hold is
// out of memory, stored plain or in a container: nothing is shown, the file
// is closed and holds nothing. Content of exactly the limit is read.
TEST(ZFile, ContentBeyondTheCallersLimitIsOutOfMemory)
{
    TempDir dir;
    const std::vector<uint8_t> content(3 << 20, 0);
    for (const bool compressed : {true, false}) {
        SCOPED_TRACE(compressed ? "container" : "plain");
        WriteThrough(dir.file("z"), content, compressed);
        TRecordingSink sink;
        TScopedMessageSink scope(sink);
        TZFile f;
        zAssignFile(f, dir.file("z"));
        EXPECT_THROW(zReset(f, 1, fmOpenRead, (3 << 20) - 1), std::bad_alloc);
        EXPECT_EQ(f.handle, -1);
        EXPECT_EQ(f.buffer, nullptr);
        EXPECT_EQ(zFileSize(f), 0);
        zReset(f, 1, fmOpenRead, 3 << 20);
        EXPECT_EQ(zFileSize(f), 3 << 20);
        zCloseFile(f, false);
        EXPECT_TRUE(sink.messages.empty());
    }
}
