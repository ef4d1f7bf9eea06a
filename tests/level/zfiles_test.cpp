#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <numeric>

#include "level/parallel_deflate.h"
#include "level/zfiles.h"
#include "level/zlibwrap.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"
#include "support/zlib_stream.h"

namespace {

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + i / 256) & 0xFF);
    return v;
}

uint32_t U32At(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}

// Writes content through the buffered file, compressed or plain.
void WriteThrough(const std::string& name, const std::vector<uint8_t>& content, bool compressed)
{
    TZFile f;
    zAssignFile(f, name);
    zRewrite(f, 1);
    zBlockWrite(f, content.data(), static_cast<int32_t>(content.size()));
    f.compressed = compressed ? 1 : 0;
    zCloseFile(f, true);
}

}  // namespace

TEST(ZlibWrap, RoundTripAndIndependentInflate)
{
    const auto data = Pattern(100000);
    TMemBlock packed;
    CompressBuf(data.data(), static_cast<int32_t>(data.size()), packed);
    ASSERT_GT(packed.length(), 0);
    // zlib alone reads what we wrote.
    std::vector<uint8_t> check(data.size());
    uLongf checkLen = check.size();
    ASSERT_EQ(uncompress(check.data(), &checkLen, packed.data(), packed.length()), Z_OK);
    EXPECT_EQ(checkLen, data.size());
    EXPECT_EQ(check, data);

    for (int32_t estimate : {0, 1, 1000, 100000, 500000}) {
        TMemBlock out;
        ASSERT_TRUE(DecompressBuf(packed.data(), packed.length(), estimate, out)) << estimate;
        ASSERT_EQ(out.length(), 100000) << estimate;
        EXPECT_EQ(std::memcmp(out.data(), data.data(), data.size()), 0);
    }
}

TEST(ZlibWrap, IncompressibleInputGrowsTheOutput)
{
    std::vector<uint8_t> noise(70000);
    uint32_t s = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((s = s * 1103515245u + 12345u) >> 24);
    TMemBlock packed;
    CompressBuf(noise.data(), static_cast<int32_t>(noise.size()), packed);
    TMemBlock out;
    ASSERT_TRUE(DecompressBuf(packed.data(), packed.length(), 0, out));
    ASSERT_EQ(out.length(), 70000);
    EXPECT_EQ(std::memcmp(out.data(), noise.data(), noise.size()), 0);
}

TEST(ZlibWrap, DamagedStreamsFailWithoutLosingTheOutputBlock)
{
    const auto data = Pattern(50000);
    TMemBlock packed;
    CompressBuf(data.data(), static_cast<int32_t>(data.size()), packed);
    // Truncated stream.
    TMemBlock out;
    EXPECT_FALSE(DecompressBuf(packed.data(), packed.length() / 2, 50000, out));
    EXPECT_EQ(out.length(), 50000);
    // Garbage.
    std::vector<uint8_t> junk(100, 0xAB);
    TMemBlock out2;
    EXPECT_FALSE(DecompressBuf(junk.data(), 100, 0, out2));
    // A limit smaller than the content counts as damage.
    TMemBlock out3;
    EXPECT_FALSE(DecompressBuf(packed.data(), packed.length(), 0, out3, 1000));
    EXPECT_LE(out3.length(), 1000);
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

TEST(ZFile, BufferGrowthFollowsTheRule)
{
    TempDir dir;
    TZFile f;
    zAssignFile(f, dir.file("g"));
    zRewrite(f, 1);
    EXPECT_EQ(f.capacity, ZFILE_GROWTH);
    const auto big = Pattern(300000);
    zBlockWrite(f, big.data(), 300000);
    EXPECT_EQ(f.capacity, 300000 + ZFILE_GROWTH);
    EXPECT_EQ(zFileSize(f), 300000);
    // Overwrite in the middle keeps the size; record size multiplies counts.
    zSeek(f, 10);
    f.recordSize = 4;
    const uint8_t four[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    zBlockWrite(f, four, 2);
    EXPECT_EQ(zFilePos(f), 18);
    EXPECT_EQ(zFileSize(f), 300000);
    zCloseFile(f, true);
    EXPECT_EQ(f.size, 0);
    EXPECT_EQ(f.capacity, 0);
    auto onDisk = ReadFileBytes(dir.file("g"));
    ASSERT_EQ(onDisk.size(), 300000u);
    EXPECT_EQ(onDisk[10], 1);
    EXPECT_EQ(onDisk[17], 8);
    EXPECT_EQ(onDisk[18], big[18]);
}

TEST(ZFile, ReadsAreClippedToTheContent)
{
    TempDir dir;
    WriteFileBytes(dir.file("r"), std::vector<uint8_t>{1, 2, 3, 4, 5});
    TZFile f;
    zAssignFile(f, dir.file("r"));
    zReset(f, 1);
    EXPECT_EQ(f.compressed, 0);
    uint8_t buf[8];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(zBlockRead(f, buf, 8), 5);
    EXPECT_EQ(buf[4], 5);
    EXPECT_EQ(buf[5], 0xEE) << "bytes past the content are left as they were";
    zSeek(f, 100);
    EXPECT_EQ(zFilePos(f), 5);
    EXPECT_EQ(zBlockRead(f, buf, 1), 0);
    zCloseFile(f, false);
}

TEST(ZFile, CompressedContainerLayoutAndRoundTrip)
{
    TempDir dir;
    const auto content = Pattern(123457);
    WriteThrough(dir.file("c"), content, true);
    const auto disk = ReadFileBytes(dir.file("c"));
    ASSERT_GT(disk.size(), 12u);
    EXPECT_EQ(std::memcmp(disk.data(), "ZLIB", 4), 0);
    EXPECT_EQ(U32At(disk, 4), disk.size() - 12);
    EXPECT_EQ(U32At(disk, 8), content.size());
    std::vector<uint8_t> check(content.size());
    uLongf n = check.size();
    ASSERT_EQ(uncompress(check.data(), &n, disk.data() + 12, disk.size() - 12), Z_OK);
    EXPECT_EQ(check, content);

    TZFile f;
    zAssignFile(f, dir.file("c"));
    zReset(f, 1);
    EXPECT_EQ(f.compressed, 1);
    ASSERT_EQ(zFileSize(f), static_cast<int32_t>(content.size()));
    EXPECT_EQ(std::memcmp(f.buffer, content.data(), content.size()), 0);
    zCloseFile(f, false);
}

TEST(ZFile, CompressedStoreReplacesAnOpenFileWhole)
{
    TempDir dir;
    WriteFileBytes(dir.file("r"), Pattern(300000));  // longer than the container
    const auto content = Pattern(5000);
    const int fd = ::open(dir.file("r").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    zWriteCompressed(fd, dir.file("r"), content.data(), static_cast<int32_t>(content.size()));
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(zReadWhole(fd, dir.file("r"), buffer, size));
    ::close(fd);
    ASSERT_EQ(size, static_cast<int32_t>(content.size()));
    EXPECT_EQ(std::memcmp(buffer, content.data(), content.size()), 0);
    std::free(buffer);
    const auto disk = ReadFileBytes(dir.file("r"));
    EXPECT_EQ(U32At(disk, 4), disk.size() - 12);
}

TEST(ZFile, EmptyContentCompressedIsAValidContainer)
{
    TempDir dir;
    WriteThrough(dir.file("e"), {}, true);
    const auto disk = ReadFileBytes(dir.file("e"));
    ASSERT_GT(disk.size(), 12u);
    EXPECT_EQ(U32At(disk, 8), 0u);
    TZFile f;
    zAssignFile(f, dir.file("e"));
    zReset(f, 1);
    EXPECT_EQ(f.compressed, 1);
    EXPECT_EQ(zFileSize(f), 0);
    zCloseFile(f, false);
}

TEST(ZFile, SmallAndEmptyFilesAreReadPlain)
{
    TempDir dir;
    std::vector<uint8_t> twelve = {'Z', 'L', 'I', 'B', 1, 0, 0, 0, 1, 0, 0, 0};
    WriteFileBytes(dir.file("12"), twelve);
    WriteFileBytes(dir.file("0"), std::vector<uint8_t>{});
    TZFile f;
    zAssignFile(f, dir.file("12"));
    zReset(f, 1);
    EXPECT_EQ(f.compressed, 0);
    EXPECT_EQ(zFileSize(f), 12);
    EXPECT_EQ(std::memcmp(f.buffer, twelve.data(), 12), 0);
    zCloseFile(f, false);
    zAssignFile(f, dir.file("0"));
    zReset(f, 1);
    EXPECT_EQ(f.compressed, 0);
    EXPECT_EQ(zFileSize(f), 0);
    zCloseFile(f, false);
}

TEST(ZFile, DamagedContainerShowsTheMessageOnceAndKeepsWhatInflated)
{
    TempDir dir;
    const auto content = Pattern(200000);
    WriteThrough(dir.file("d"), content, true);
    auto disk = ReadFileBytes(dir.file("d"));
    disk.resize(12 + (disk.size() - 12) / 2);  // cut the stream, keep the claimed sizes
    WriteFileBytes(dir.file("d"), disk);
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    TZFile f;
    zAssignFile(f, dir.file("d"));
    zReset(f, 1);
    EXPECT_EQ(f.compressed, 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{ZLIB_DATA_ERROR});
    EXPECT_GT(zFileSize(f), 0);
    zCloseFile(f, false);
}

TEST(ZFile, HugeClaimedSizeDoesNotAllocateWithoutBound)
{
    TempDir dir;
    std::vector<uint8_t> disk = {'Z', 'L', 'I', 'B', 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3, 4};
    WriteFileBytes(dir.file("h"), disk);
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    TZFile f;
    zAssignFile(f, dir.file("h"));
    zReset(f, 1);
    EXPECT_LE(zFileSize(f), 1032 * 4 + 1024);
    EXPECT_EQ(sink.messages.size(), 1u);
    zCloseFile(f, false);
}

TEST(ZFile, MissingFileAndReadOnlyModes)
{
    TempDir dir;
    TZFile f;
    zAssignFile(f, dir.file("missing"));
    EXPECT_THROW(zReset(f, 1), EInOutError);
    WriteFileBytes(dir.file("ro"), std::vector<uint8_t>{7});
    ::chmod(dir.file("ro").c_str(), 0444);
    zAssignFile(f, dir.file("ro"));
    if (::geteuid() != 0) {
        EXPECT_THROW(zReset(f, 1, fmOpenReadWrite), EInOutError);
    }
    zReset(f, 1, fmOpenRead);
    EXPECT_EQ(zFileSize(f), 1);
    zCloseFile(f, false);
}

TEST(ZFile, WritesToAReadBufferAreDiscardedOnClose)
{
    TempDir dir;
    WriteFileBytes(dir.file("w"), std::vector<uint8_t>{1, 2, 3});
    TZFile f;
    zAssignFile(f, dir.file("w"));
    zReset(f, 1);
    const uint8_t x[2] = {9, 9};
    zBlockWrite(f, x, 2);
    EXPECT_EQ(f.buffer[0], 9);
    zCloseFile(f, false);
    EXPECT_EQ(ReadFileBytes(dir.file("w")), (std::vector<uint8_t>{1, 2, 3}));
}
