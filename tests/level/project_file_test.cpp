#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "level/project_file.h"
#include "level/zfiles.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/progress.h"
#include "platform/rtl/random.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/work_meter.h"
#include "project_stream.h"
#include "support/project_fixture.h"
#include "support/scoped_value.h"
#include "support/temp_dir.h"

namespace {

constexpr uid_t NOBODY = 65534;

void Save(tcuarto_list& p, const std::string& name)
{
    int counter = 1;
    SaveProject(p, name, 0, 0, counter);
}

std::set<std::string> Entries(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Runs the body in a child process (as an unprivileged user when we are
// root, so that permissions hold) and returns its exit code.
int RunInChild(const std::function<int()>& body, bool unprivileged)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 90;
        try {
            if (unprivileged && ::geteuid() == 0 && (::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0)) ::_exit(91);
            code = body();
        } catch (...) {
            code = 92;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A project with a little of everything, the one most refusal tests start from.
void MakeSmallProject(tcuarto_list& p, uint32_t seed = 5)
{
    MakeProject(p, 3, 3, 2, 3, seed);
    p.neighbourRoom = 2;
    p.highlightedItem = 3;
}

std::vector<uint8_t> Cut(const std::vector<uint8_t>& content, size_t n)
{
    return {content.begin(), content.begin() + std::ptrdiff_t(n)};
}

class ProjectFile : public ::testing::Test {
protected:
    TempDir dir;
    TRecordingSink sink;
    TScopedMessageSink scope{sink};

    // Loads a file into a project that already holds something and checks
    // that a refusal shows exactly `messages` and changes nothing at all.
    void ExpectRefused(const std::vector<uint8_t>& file, const std::vector<std::string>& messages,
                       const std::string& label = "")
    {
        WriteFileBytes(dir.file("refused.vel"), file);
        ExpectRefusedFile(dir.file("refused.vel"), messages, label);
    }

    void ExpectRefusedFile(const std::string& name, const std::vector<std::string>& messages,
                           const std::string& label = "")
    {
        tcuarto_list p;
        MakeSmallProject(p, 99);
        TProgressBar gauge;
        p.progressGauge = &gauge;
        const tcuarto_list before = p;
        sink.messages.clear();
        EXPECT_EQ(LoadProject(p, name), 1) << label;
        EXPECT_EQ(AnyDifference(p, before), "") << label;
        EXPECT_EQ(sink.Texts(), messages) << label;
        EXPECT_EQ(gauge.Position(), 0) << label;
    }

    // Loads the file into a project that holds something else; it must give back p.
    void ExpectLoads(const std::vector<uint8_t>& file, const tcuarto_list& p, const std::string& label = "")
    {
        WriteFileBytes(dir.file("loaded.vel"), file);
        sink.messages.clear();
        tcuarto_list q;
        MakeSmallProject(q, 7);
        ASSERT_EQ(LoadProject(q, dir.file("loaded.vel")), 0) << label;
        EXPECT_EQ(StoredDifference(q, p), "") << label;
        EXPECT_TRUE(sink.messages.empty()) << label;
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Layout and round trips

TEST_F(ProjectFile, SavedFileMatchesAnIndependentlyBuiltStream)
{
    tcuarto_list p;
    MakeProject(p, 2, 2, 3, 2, 17);
    p.items[3].correlative = 77;  // past the count: not stored
    p.triggers.resize(3);
    p.triggers[2].name = "not stored";
    p.rooms[1].sectors[2][3].ceilingPieceHeights[5] = 2.5f;
    p.rooms[2].reservedPair = {0x1234, 0x5678};
    const std::string name = dir.file("demo.vel");
    Save(p, name);
    const auto file = ReadFileBytes(name);
    const auto expected = ProjectStream(p);
    EXPECT_EQ(InflateContainer(file), expected);
    // The whole file: the container head and the level-9 stream zlib makes of the content.
    EXPECT_EQ(file, ZlibContainer(expected));

    // A project with 0 rooms is a complete file ending with the reserved block.
    tcuarto_list empty;
    ResetProject(empty);
    empty.reservedBlock[29] = 30;
    Save(empty, dir.file("empty.vel"));
    EXPECT_EQ(InflateContainer(ReadFileBytes(dir.file("empty.vel"))), ProjectStream(empty));
    EXPECT_EQ(ProjectStream(empty).size(), 939u);
    tcuarto_list q;
    MakeSmallProject(q);
    ASSERT_EQ(LoadProject(q, dir.file("empty.vel")), 0);
    EXPECT_EQ(StoredDifference(q, empty), "");
    EXPECT_EQ(q.rooms.size(), 12u);
}

TEST_F(ProjectFile, RoundTripsRoomsOfSeveralSizesWithTablesFullAndEmpty)
{
    struct Case {
        int rooms, columns, rows, fill;
    };
    for (const Case& c :
         {Case{1, 1, 1, 0}, Case{2, 20, 20, 256}, Case{3, 1, 17, 1}, Case{2, 13, 1, 5}, Case{4, 3, 7, 256},
          Case{1, 0, 9, 2}, Case{1, 6, 0, 2}, Case{0, 0, 0, 256}, Case{255, 2, 2, 1000}}) {
        const std::string label = std::to_string(c.rooms) + " rooms of " + std::to_string(c.columns) + " x " +
                                  std::to_string(c.rows) + ", tables " + std::to_string(c.fill);
        tcuarto_list p;
        MakeProject(p, c.rooms, c.columns, c.rows, c.fill, 1234);
        Save(p, dir.file("trip.vel"));
        tcuarto_list q;
        MakeProject(q, 2, 2, 2, 1, 4321);
        q.neighbourRoom = 9;
        q.highlightedItem = 17;
        ASSERT_EQ(LoadProject(q, dir.file("trip.vel")), 0) << label;
        EXPECT_EQ(StoredDifference(q, p), "") << label;
        EXPECT_EQ(q.rooms.size(), static_cast<std::size_t>(c.rooms) + 12) << label;
        EXPECT_EQ(q.neighbourRoom, 9) << label;
        EXPECT_EQ(q.highlightedItem, 17) << label;
        // Saving what was loaded gives the same file, which zlib alone reads
        // (rooms of 20 x 20 take more than one compressed block).
        const auto first = ReadFileBytes(dir.file("trip.vel"));
        EXPECT_EQ(InflateContainer(first), ProjectStream(p)) << label;
        EXPECT_EQ(first[4] | (first[5] << 8) | (first[6] << 16) | (uint32_t(first[7]) << 24), first.size() - 12)
            << label;
        Save(q, dir.file("trip2.vel"));
        EXPECT_EQ(ReadFileBytes(dir.file("trip2.vel")), first) << label;
        EXPECT_TRUE(sink.messages.empty()) << label;
    }
}

TEST_F(ProjectFile, InMemoryStateSurvivesALoadAndTheGaugeFollowsTheRooms)
{
    tcuarto_list p;
    MakeProject(p, 4, 4, 4, 2, 3);
    p.triggerCount = 0;
    p.animSetCount = 0;
    TProgressBar gauge;
    std::vector<int> positions;
    gauge.OnChange = [&](const TProgressBar& g) { positions.push_back(g.Position()); };
    p.progressGauge = &gauge;
    Save(p, dir.file("p.vel"));
    EXPECT_EQ(positions, (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(gauge.Max(), 4);

    tcuarto_list q;
    MakeProject(q, 20, 2, 3, 6, 4);
    q.progressGauge = &gauge;
    q.neighbourRoom = 4;
    q.highlightedItem = 5;
    const tcuarto_list before = q;
    positions.clear();
    ASSERT_EQ(LoadProject(q, dir.file("p.vel")), 0);
    EXPECT_EQ(positions, (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(StoredDifference(q, p), "");
    // A trigger count of 0 keeps the triggers in memory; slots past the counts keep what they held.
    ASSERT_EQ(q.triggers.size(), before.triggers.size());
    EXPECT_EQ(std::memcmp(q.triggers.data(), before.triggers.data(), q.triggers.size() * sizeof(tproject_trigger)), 0);
    EXPECT_EQ(std::memcmp(&q.items[5], &before.items[5], sizeof(titem)), 0);
    EXPECT_EQ(std::memcmp(&q.animSets[2], &before.animSets[2], sizeof(tanim_texture_set)), 0);
    EXPECT_EQ(std::memcmp(&q.rooms[1].lights[4], &before.rooms[1].lights[4], sizeof(troom_light)), 0);
    EXPECT_EQ(std::tie(q.progressGauge, q.neighbourRoom, q.highlightedItem),
              std::make_tuple(&gauge, uint8_t(4), int16_t(5)));
    EXPECT_EQ(q.rooms.size(), 16u);  // room count + 12, whatever it was
    // A non-zero trigger count replaces the array by exactly that many.
    tcuarto_list r;
    MakeProject(r, 1, 1, 1, 3, 5);
    Save(r, dir.file("r.vel"));
    ASSERT_EQ(LoadProject(q, dir.file("r.vel")), 0);
    EXPECT_EQ(q.triggers.size(), 3u);
}

TEST_F(ProjectFile, OtherContentThatLoads)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const auto content = ProjectStream(p);
    // Later versions, plain content, bytes after the last room; of the four
    // bytes of a room's last reserved word the first two are the word.
    TStreamOptions o;
    o.lastWordFiller = 0xCDAB;
    o.version = 3;
    ExpectLoads(ZlibContainer(ProjectStream(p, o)), p, "version 3");
    ExpectLoads(content, p, "plain");
    auto longer = content;
    longer.insert(longer.end(), 5, 0x77);
    ExpectLoads(ZlibContainer(longer), p, "longer");
    // The container's claimed size is an estimate: above, below, none.
    for (const uint32_t claim : {uint32_t(content.size()) + 100000, uint32_t(content.size()) - 10, 100u, 0u}) {
        auto file = ZlibContainer(content);
        for (int i = 0; i < 4; ++i) file[8 + i] = static_cast<uint8_t>(claim >> (8 * i));
        ExpectLoads(file, p, "claim " + std::to_string(claim));
        // A small claim does not hide a stream cut short.
        if (claim == 100) ExpectRefused(Cut(file, file.size() - 40), {ZLIB_DATA_ERROR}, "cut, small claim");
    }
    // A room without columns or rows holds no sectors, whatever its other size, and saves again as read.
    MakeProject(p, 2, 1, 1, 0, 2);
    p.rooms[1].columns = 0;
    p.rooms[1].rows = 65535;
    p.rooms[2].columns = 65535;
    p.rooms[2].rows = 0;
    WriteFileBytes(dir.file("flat.vel"), ZlibContainer(ProjectStream(p)));
    tcuarto_list q;
    ASSERT_EQ(LoadProject(q, dir.file("flat.vel")), 0);
    EXPECT_EQ(q.rooms[1].rows, 65535);
    EXPECT_TRUE(q.rooms[1].sectors.empty());
    EXPECT_TRUE(q.rooms[2].sectors.empty());
    Save(q, dir.file("again.vel"));
    EXPECT_EQ(InflateContainer(ReadFileBytes(dir.file("again.vel"))), ProjectStream(p));
}

// Every reader of zlib streams inflates them alike: the project reader and
// the buffered file layer under the level reader find the same streams
// whole and the same ones damaged.
TEST_F(ProjectFile, ZlibStreamsAreJudgedAsTheBufferedFileJudgesThem)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const auto content = ProjectStream(p);
    const auto stream = ZlibCompress(content, 9);
    // The same content in a stream that asks for a preset dictionary.
    std::vector<uint8_t> dictionary(stream.size() + 64);
    {
        z_stream z{};
        deflateInit(&z, 9);
        const Bytef words[] = "Kestrel";
        deflateSetDictionary(&z, words, 7);
        z.next_in = const_cast<Bytef*>(content.data());
        z.avail_in = uInt(content.size());
        z.next_out = dictionary.data();
        z.avail_out = uInt(dictionary.size());
        ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
        dictionary.resize(z.total_out);
        deflateEnd(&z);
    }
    auto changed = [&](size_t at, uint8_t value) {
        auto s = stream;
        s[at] = value;
        return s;
    };
    auto longer = stream;
    longer.insert(longer.end(), 3000, 0x5A);
    struct Case {
        std::string label;
        std::vector<uint8_t> stream;
        bool damaged;
    };
    for (const Case& c : {
             Case{"whole", stream, false},
             Case{"bytes after the stream", longer, false},
             Case{"checksum", changed(stream.size() - 1, uint8_t(stream.back() ^ 1)), true},
             Case{"cut short", Cut(stream, stream.size() / 2), true},
             Case{"cut before the checksum", Cut(stream, stream.size() - 2), true},
             Case{"reserved block type", changed(2, 0x07), true},
             Case{"preset dictionary", dictionary, true},
         }) {
        TByteWriter file;
        file.Text("ZLIB").LE32(uint32_t(c.stream.size())).LE32(uint32_t(content.size())).Append(c.stream);
        WriteFileBytes(dir.file("stream.vel"), file.Bytes);
        sink.messages.clear();
        TZFile f;
        zAssignFile(f, dir.file("stream.vel"));
        zReset(f, 1);
        zCloseFile(f, false);
        EXPECT_EQ(sink.messages.size(), c.damaged ? 1u : 0u) << c.label;
        if (c.damaged) ExpectRefused(file.Bytes, {ZLIB_DATA_ERROR}, c.label);
        else ExpectLoads(file.Bytes, p, c.label);
    }
}

// A load charges its work to the load's meter as it is done, in proportion
// to the content it reads; a meter that runs out stops the load and leaves
// the project as it was. (An outer scope stands for a load the project
// load runs inside, whose meter it shares.)
TEST_F(ProjectFile, TheWorkOfALoadIsCountedAsItIsDone)
{
    tcuarto_list p;
    MakeProject(p, 2, 40, 40, 1, 12);
    const auto content = ProjectStream(p);
    WriteFileBytes(dir.file("plain.vel"), content);
    WriteFileBytes(dir.file("packed.vel"), ZlibContainer(content));
    for (const char* name : {"plain.vel", "packed.vel"}) {
        TWorkScope outer(0);
        tcuarto_list q;
        ASSERT_EQ(LoadProject(q, dir.file(name)), 0) << name;
        EXPECT_GE(outer.Meter().Spent(), content.size()) << name;
        EXPECT_LE(outer.Meter().Spent(), 8 * content.size()) << name;
    }
    TWorkScope outer(0);
    outer.Meter().Charge(TWorkMeter::BaseAllowance - content.size() / 2);
    tcuarto_list q;
    MakeSmallProject(q);
    const tcuarto_list before = q;
    EXPECT_THROW(LoadProject(q, dir.file("plain.vel")), EWorkSpent);
    EXPECT_EQ(AnyDifference(q, before), "");
}

TEST_F(ProjectFile, ReadOnlyFilesLoadAndUnreadableOnesRaiseTheInputOutputError)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const std::string name = dir.file("ro.vel");
    Save(p, name);
    ::chmod(name.c_str(), 0444);
    ::chmod(dir.path().c_str(), 0755);
    const int code = RunInChild(
        [&] {
            TRecordingSink quiet;
            TScopedMessageSink s(quiet);
            tcuarto_list q;
            return LoadProject(q, name) == 0 && StoredDifference(q, p).empty() ? 0 : 1;
        },
        true);
    EXPECT_EQ(code, 0);
    const tcuarto_list before = p;
    EXPECT_THROW(LoadProject(p, dir.file("none.vel")), EInOutError);
    std::filesystem::create_directory(dir.file("folder.vel"));
    EXPECT_THROW(LoadProject(p, dir.file("folder.vel")), EInOutError);
    EXPECT_EQ(AnyDifference(p, before), "");
}

// ---------------------------------------------------------------------------
// Refusals

TEST_F(ProjectFile, DamagedFilesAreRefusedWithTheirMessage)
{
    tcuarto_list p;
    MakeProject(p, 2, 2, 2, 2, 6);
    const auto content = ProjectStream(p);
    const size_t room1 = content.size() - 2 * (90 + 4 * 2106 + 2 + 2 * 11 + 2 + 2 * 23 + 2 + 2 + 2 * 16 + 2);
    auto changed = [&](size_t at, uint8_t value) {
        auto c = content;
        c[at] = value;
        return ZlibContainer(c);
    };
    auto version = [&](unsigned v) {
        TStreamOptions o;
        o.version = v;
        return ZlibContainer(ProjectStream(p, o));
    };
    const std::string damaged = PROJECT_DAMAGED_MESSAGE;
    auto flipped = ZlibContainer(content), checksum = flipped;
    for (size_t i = 40; i < 60; ++i) flipped[i] ^= 0x5A;
    checksum.back() ^= 1;
    std::vector<uint8_t> junk = {'Z', 'L', 'I', 'B', 200, 0, 0, 0, 0, 0, 1, 0};
    junk.resize(212, 0xA7);
    const std::vector<std::tuple<std::string, std::vector<uint8_t>, std::string>> cases = {
        {"changed letter", changed(5, 'x'), PROJECT_BAD_HEADER_MESSAGE},
        {"changed length", changed(0, 17), PROJECT_BAD_HEADER_MESSAGE},
        {"empty file", {}, PROJECT_BAD_HEADER_MESSAGE},
        {"short file", Cut(content, 10), PROJECT_BAD_HEADER_MESSAGE},
        {"empty container", ZlibContainer({}), PROJECT_BAD_HEADER_MESSAGE},
        {"version 0", version(0), PROJECT_OLD_VERSION_MESSAGE},
        {"version 1", version(1), PROJECT_OLD_VERSION_MESSAGE},
        {"cut in the header", Cut(content, 19), damaged + "the file ends inside the header."},
        {"cut in the items", ZlibContainer(Cut(content, 900)), damaged + "the file ends inside the item table."},
        {"cut before room 1", ZlibContainer(Cut(content, room1 - 1)),
         damaged + "the file ends inside the project header."},
        {"cut in room 1", ZlibContainer(Cut(content, room1 + 50)), damaged + "the file ends inside room 1."},
        {"cut in sectors", ZlibContainer(Cut(content, room1 + 90 + 2106)),
         damaged + "the file ends inside the sectors of room 1."},
        {"cut in room 2", ZlibContainer(Cut(content, content.size() - 1)), damaged + "the file ends inside room 2."},
        {"flipped bytes", flipped, ZLIB_DATA_ERROR},
        {"wrong checksum", checksum, ZLIB_DATA_ERROR},
        {"stream cut short", Cut(checksum, checksum.size() / 2), ZLIB_DATA_ERROR},
        {"junk stream", junk, ZLIB_DATA_ERROR},
    };
    for (const auto& [label, file, message] : cases) ExpectRefused(file, {message}, label);
    EXPECT_EQ(std::string(PROJECT_OLD_VERSION_MESSAGE),
              " Sorry, Vel version 1.x no supported; use CONVERTER tool to migrate your project.");
    EXPECT_EQ(std::string(PROJECT_BAD_HEADER_MESSAGE), " ERROR...invalid DXVel3d file format! ");

    // Every other length, stored plain, and a sample stored compressed.
    for (size_t n = 20; n < content.size(); n += (n < 1200 ? 1 : 37)) {
        WriteFileBytes(dir.file("cut.vel"), n % 5 == 0 ? ZlibContainer(Cut(content, n)) : Cut(content, n));
        tcuarto_list q;
        MakeSmallProject(q);
        const tcuarto_list before = q;
        sink.messages.clear();
        ASSERT_EQ(LoadProject(q, dir.file("cut.vel")), 1) << n;
        ASSERT_EQ(AnyDifference(q, before), "") << n;
        ASSERT_EQ(sink.messages.size(), 1u) << n;
        EXPECT_EQ(sink.messages[0].text.rfind(PROJECT_DAMAGED_MESSAGE, 0), 0u) << n;
    }
}

TEST_F(ProjectFile, CountsAboveATablesCapacityAreRefused)
{
    const std::vector<std::pair<std::function<void(tcuarto_list&)>, std::string>> cases = {
        {[](tcuarto_list& p) { p.itemCount = 257; }, "the item count 257 is outside 0..256."},
        {[](tcuarto_list& p) { p.itemCount = -1; }, "the item count -1 is outside 0..256."},
        {[](tcuarto_list& p) { p.cameraCount = 100; }, "the camera count 100 is outside 0..99."},
        {[](tcuarto_list& p) { p.flybyCount = 65; }, "the flyby camera count 65 is outside 0..64."},
        {[](tcuarto_list& p) { p.soundSourceCount = 33; }, "the sound source count 33 is outside 0..32."},
        {[](tcuarto_list& p) { p.animSetCount = 17; }, "the animated set count 17 is outside 0..16."},
        {[](tcuarto_list& p) { p.triggerCount = -3; }, "the trigger count -3 is negative."},
        {[](tcuarto_list& p) { p.rooms[2].boxCount = 11; }, "the box count 11 of room 2 is outside 0..10."},
        {[](tcuarto_list& p) { p.rooms[3].staticCount = 31; }, "the static count 31 of room 3 is outside 0..30."},
        {[](tcuarto_list& p) { p.rooms[1].lightCount = 26; }, "the light count 26 of room 1 is outside 0..25."},
        {[](tcuarto_list& p) { p.rooms[1].lightCount = -2; }, "the light count -2 of room 1 is outside 0..25."},
        // Sizes the file cannot hold allocate nothing: terabytes of sectors, 32767 triggers.
        {[](tcuarto_list& p) { p.rooms[1].columns = p.rooms[1].rows = 65535; },
         "the file ends inside the sectors of room 1."},
        {[](tcuarto_list& p) {
             p.roomCount = 0;
             p.triggerCount = 32767;
         },
         "the file ends inside the trigger table."},
    };
    for (const auto& [change, detail] : cases) {
        tcuarto_list p;
        MakeSmallProject(p, 31);
        change(p);
        ExpectRefused(ZlibContainer(ProjectStream(p)), {PROJECT_DAMAGED_MESSAGE + detail}, detail);
    }
    // The capacities themselves are fine.
    tcuarto_list p;
    MakeSmallProject(p, 31);
    p.itemCount = 256;
    p.rooms[1].boxCount = 10;
    ExpectLoads(ZlibContainer(ProjectStream(p)), p);
}

namespace {

// A compressed project whose first room claims columns x rows sectors and
// holds few of them, its head counting as stream all of the file, which is
// padded (sparsely) to fileSize bytes.
void WritePaddedProject(const std::string& name, int columns, int rows, uint64_t fileSize)
{
    tcuarto_list p;
    MakeSmallProject(p);
    p.rooms[1].columns = static_cast<uint16_t>(columns);
    p.rooms[1].rows = static_cast<uint16_t>(rows);
    std::vector<uint8_t> file = ZlibContainer(ProjectStream(p));
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>((fileSize - 12) >> (8 * i));
    WriteFileBytes(name, file);
    std::filesystem::resize_file(name, fileSize);
}

}  // namespace

TEST_F(ProjectFile, SectorsAndTriggersBeyondWhatAProjectMayTakeAreOutOfMemory)
{
    const std::string damaged = PROJECT_DAMAGED_MESSAGE;
    // Rooms that the bytes of the file could hold once inflated, but that
    // its stream does not: refused before any grid is allocated when they
    // claim more than a project may take, and when their sectors run out
    // otherwise.
    struct Case {
        std::string label;
        int columns, rows;
        uint64_t fileSize;
        std::string message;
    };
    for (const Case& c : {
             Case{"4 TB of sectors in a sparse 4 GB file", 45000, 45000, 0xFFFFFFFFull, OUT_OF_MEMORY_MESSAGE},
             Case{"1200 x 1200 sectors in 28 MB", 1200, 1200, 28ull << 20, OUT_OF_MEMORY_MESSAGE},
             Case{"300 x 300 sectors in 28 MB", 300, 300, 28ull << 20,
                  damaged + "the file ends inside the sectors of room 1."},
         }) {
        WritePaddedProject(dir.file("padded.vel"), c.columns, c.rows, c.fileSize);
        ExpectRefusedFile(dir.file("padded.vel"), {c.message}, c.label);
    }

    // Two rooms of 40 x 40 sectors take 2 x 41 x 41 sectors with row and column 0.
    tcuarto_list p;
    MakeProject(p, 2, 40, 40, 1, 8);
    const auto rooms = ZlibContainer(ProjectStream(p));
    const int64_t grids = 2 * 41 * 41 * int64_t(sizeof(tsector)) + int64_t(sizeof(tproject_trigger));
    {
        TScopedValue limit(ProjectMemoryLimit, grids - 1);
        ExpectRefused(rooms, {OUT_OF_MEMORY_MESSAGE}, "two rooms over the limit");
    }
    {
        TScopedValue limit(ProjectMemoryLimit, grids);
        ExpectLoads(rooms, p, "two rooms at the limit");
    }
    // The triggers count too.
    MakeProject(p, 0, 0, 0, 1, 9);
    p.triggerCount = 32767;
    p.triggers.resize(32767, p.triggers[0]);
    const auto triggers = ZlibContainer(ProjectStream(p));
    {
        TScopedValue limit(ProjectMemoryLimit, 32767 * int64_t(sizeof(tproject_trigger)) - 1);
        ExpectRefused(triggers, {OUT_OF_MEMORY_MESSAGE}, "32767 triggers over the limit");
    }
    ExpectLoads(triggers, p, "32767 triggers");
}

TEST_F(ProjectFile, TallRoomsGrowTheirGridsAsTheirColumnsArrive)
{
    // Columns of 1.2 MB and of 210 KB: the grids start with one and with
    // four columns and double from there.
    for (const auto& [columns, rows] : {std::pair{5, 600}, std::pair{9, 100}}) {
        tcuarto_list p;
        MakeProject(p, 2, columns, rows, 2, 17);
        for (int c = 1; c <= columns; ++c) p.rooms[2].sectors[c][rows].death = static_cast<uint8_t>(c);
        Save(p, dir.file("tall.vel"));
        tcuarto_list q;
        ASSERT_EQ(LoadProject(q, dir.file("tall.vel")), 0);
        EXPECT_EQ(StoredDifference(q, p), "") << columns << " x " << rows;
        EXPECT_EQ(std::make_tuple(q.rooms[2].sectors.ColumnSlots(), q.rooms[2].sectors.RowSlots()),
                  std::make_tuple(columns + 1, rows + 1));
    }
}

// Damage is looked for in the rest of a stream only a mebibyte beyond what
// was read, however much was read: content behind the project, and behind
// a refusal, costs no more than that.
TEST_F(ProjectFile, TheRestOfAStreamIsCheckedOnlyALittleFurther)
{
    tcuarto_list p;
    MakeProject(p, 1, 40, 40, 1, 12);  // 3.4 MB of sectors
    tcuarto_list refused;
    MakeSmallProject(refused);
    refused.itemCount = 300;
    const auto content = ProjectStream(p);
    const size_t mebibyte = size_t(1) << 20;
    struct Case {
        std::vector<uint8_t> content;
        size_t zeros;
        std::string message;  // empty: the project loads
    };
    for (const Case& c : {
             Case{content, 0, ZLIB_DATA_ERROR},
             Case{content, mebibyte - 65536, ZLIB_DATA_ERROR},
             Case{content, 2 * mebibyte, ""},
             Case{ProjectStream(refused), 8 * mebibyte,
                  std::string(PROJECT_DAMAGED_MESSAGE) + "the item count 300 is outside 0..256."},
         }) {
        auto longer = c.content;
        longer.resize(c.content.size() + c.zeros, 0);
        auto file = ZlibContainer(longer);
        file.back() ^= 1;  // the checksum at the stream's end
        const std::string label = std::to_string(c.zeros) + " bytes more";
        if (c.message.empty()) ExpectLoads(file, p, label);
        else ExpectRefused(file, {c.message}, label);
    }
}

// ---------------------------------------------------------------------------
// Backups and temporary names

TEST_F(ProjectFile, EveryThirdSaveRotatesTheBackupsAndTheMaximumDropsTheOldest)
{
    const std::string name = dir.file("level.vel");
    tcuarto_list p;
    ResetProject(p);
    int counter = 1;
    for (int save = 1; save <= 7; ++save) {
        p.name = "save " + std::to_string(save);
        SaveProject(p, name, 3, 5, counter);
    }
    auto nameIn = [](const std::string& file) {
        tcuarto_list q;
        return LoadProject(q, file) == 0 ? q.name.str() : std::string("unreadable");
    };
    // Saves 3 and 6 rotated: they kept what saves 2 and 5 had written.
    EXPECT_EQ(nameIn(name), "save 7");
    EXPECT_EQ(nameIn(name + ".BAK01"), "save 5");
    EXPECT_EQ(nameIn(name + ".BAK02"), "save 2");
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(Entries(dir.path()).size(), 3u);
    // At the maximum of 2 the oldest backup is dropped.
    WriteFileBytes(name + ".BAK02", std::vector<uint8_t>{2});
    p.name = "newest";
    counter = 1;
    SaveProject(p, name, 1, 2, counter);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(nameIn(name), "newest");
    EXPECT_EQ(nameIn(name + ".BAK01"), "save 7");
    EXPECT_EQ(nameIn(name + ".BAK02"), "save 5");
    EXPECT_EQ(Entries(dir.path()).size(), 3u);
}

TEST_F(ProjectFile, RotateBackupsShiftsConsecutiveBackups)
{
    const std::string base = dir.file("b");
    RotateBackups(base, base, 1, 0);
    EXPECT_TRUE(Entries(dir.path()).empty()) << "nothing happens without the base file";
    for (int i : {0, 1, 2, 4})
        WriteFileBytes(i ? base + ".BAK0" + std::to_string(i) : base, std::vector<uint8_t>{uint8_t(i)});
    RotateBackups(base, base, 1, 0);  // maximum 0: never deletes
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"b.BAK01", "b.BAK02", "b.BAK03", "b.BAK04"}));
    EXPECT_EQ(ReadFileBytes(base + ".BAK01"), std::vector<uint8_t>{0});
    EXPECT_EQ(ReadFileBytes(base + ".BAK03"), std::vector<uint8_t>{2});
    EXPECT_EQ(ReadFileBytes(base + ".BAK04"), std::vector<uint8_t>{4});
    // Numbers of three digits are written in full.
    WriteFileBytes(base, std::vector<uint8_t>{9});
    RotateBackups(base, base, 100, 0);
    EXPECT_TRUE(FileExists(base + ".BAK100"));
}

TEST_F(ProjectFile, RandomFileNamesSkipTakenNames)
{
    const uint32_t saved = RandSeed;
    EXPECT_EQ(RandomFileName(0), "");
    EXPECT_EQ(RandSeed, saved) << "no draw for an empty name";
    // The same seed gives the same name; a name taken (even by a directory
    // or a dangling link) is drawn again.
    auto drawn = [&] {
        RandSeed = 12345;
        return RandomFileName(8, dir.path() + "/");
    };
    const std::string first = drawn();
    EXPECT_EQ(first.size(), 8u);
    EXPECT_EQ(first.find_first_not_of("_~0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
    EXPECT_EQ(drawn(), first);
    ::symlink("/nonexistent/target", dir.file(first).c_str());
    const std::string second = drawn();
    EXPECT_NE(second, first);
    ::unlink(dir.file(first).c_str());
    std::filesystem::create_directory(dir.file(first));
    EXPECT_EQ(drawn(), second);
    ScopedWorkingDir cwd(dir.path());
    RandSeed = 12345;
    EXPECT_EQ(RandomFileName(8), second);
    RandSeed = saved;
}

// ---------------------------------------------------------------------------
// Saving safely

TEST_F(ProjectFile, SaveWritesBesideTheTargetAndLeavesNothingElse)
{
    TempDir elsewhere;
    ScopedWorkingDir cwd(elsewhere.path());
    tcuarto_list p;
    MakeSmallProject(p);
    Save(p, dir.file("t.vel"));
    Save(p, dir.file("t.vel"));
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"t.vel"});
    EXPECT_TRUE(Entries(elsewhere.path()).empty());
    // A name without a directory is saved in the working directory.
    Save(p, "here.vel");
    EXPECT_EQ(Entries(elsewhere.path()), std::set<std::string>{"here.vel"});
}

TEST_F(ProjectFile, SaveIntoAReadOnlyDirectoryKeepsTheOldFile)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const std::string name = dir.file("old.vel");
    Save(p, name);
    const auto old = ReadFileBytes(name);
    ::chmod(dir.path().c_str(), 0555);
    const int code = RunInChild(
        [&] {
            tcuarto_list q;
            MakeSmallProject(q, 77);
            try {
                Save(q, name);
            } catch (const EInOutError&) {
                return 0;
            }
            return 1;
        },
        true);
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(name), old);
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"old.vel"});
}

TEST_F(ProjectFile, SaveOnAFullDiskKeepsTheOldFileAndRemovesTheTemporary)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const std::string name = dir.file("full.vel");
    Save(p, name);
    const auto old = ReadFileBytes(name);
    // The file size limit makes every write past 100 bytes fail, as a full disk would.
    const int code = RunInChild(
        [&] {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{100, RLIM_INFINITY};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            tcuarto_list q;
            MakeProject(q, 5, 10, 10, 30, 8);
            TProgressBar gauge;
            q.progressGauge = &gauge;
            try {
                Save(q, name);
            } catch (const EInOutError& e) {
                return e.ErrorCode() == EFBIG && gauge.Position() == 0 ? 0 : 2;
            }
            return 1;
        },
        false);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFileBytes(name), old);
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"full.vel"});
}

TEST_F(ProjectFile, FailedReplaceRemovesTheTemporary)
{
    tcuarto_list p;
    MakeSmallProject(p);
    std::filesystem::create_directories(dir.file("target.vel/inside"));
    EXPECT_THROW(Save(p, dir.file("target.vel")), EInOutError);
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"target.vel"});
    EXPECT_EQ(Entries(dir.file("target.vel")), std::set<std::string>{"inside"});
}

TEST_F(ProjectFile, ProjectsWhoseCountsDoNotFitAreNotSaved)
{
    const std::string name = dir.file("bad.vel");
    const std::vector<std::function<void(tcuarto_list&)>> faults = {
        [](tcuarto_list& p) { p.itemCount = 300; },
        [](tcuarto_list& p) { p.triggerCount = static_cast<int16_t>(p.triggers.size() + 1); },
        [](tcuarto_list& p) { p.roomCount = static_cast<uint8_t>(p.rooms.size()); },
        [](tcuarto_list& p) { p.rooms[1].lightCount = 26; },
        [](tcuarto_list& p) { p.rooms[2].columns = 9; },
    };
    for (size_t i = 0; i < faults.size(); ++i) {
        tcuarto_list p;
        MakeSmallProject(p);
        faults[i](p);
        EXPECT_THROW(Save(p, name), std::out_of_range) << i;
        EXPECT_TRUE(Entries(dir.path()).empty()) << i;
    }
}
