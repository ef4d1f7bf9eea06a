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
#include "project_stream.h"
#include "support/project_fixture.h"
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
        tcuarto_list p;
        MakeSmallProject(p, 99);
        TProgressBar gauge;
        p.progressGauge = &gauge;
        const tcuarto_list before = p;
        sink.messages.clear();
        EXPECT_EQ(LoadProject(p, dir.file("refused.vel")), 1) << label;
        EXPECT_EQ(AnyDifference(p, before), "") << label;
        EXPECT_EQ(sink.Texts(), messages) << label;
        EXPECT_EQ(gauge.Position(), 0) << label;
    }

    void ExpectDamaged(const std::vector<uint8_t>& file, const std::string& detail, const std::string& label = "")
    {
        ExpectRefused(file, {PROJECT_DAMAGED_MESSAGE + detail}, label);
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Layout

TEST_F(ProjectFile, SavedFileMatchesAnIndependentlyBuiltStream)
{
    tcuarto_list p;
    ResetProject(p);
    p.name = "Demo";
    p.comments = "Created with Brackwater";
    p.basefilePath = "/levels/tut1.tr4";
    p.texturesfilePath = "/tex/a.bmp";
    p.scriptDirectory = "/script";
    p.buildDirectory = "/build";
    p.currentRoom = 1;
    p.roomCount = 1;
    p.playerColumn = 3;
    p.reservedBytes = {7, 8};
    p.itemCount = 2;
    p.items[1] = {};
    p.items[1].correlative = 0x01020304;
    p.items[1].room = 1;
    p.items[1].angle = 3;
    p.items[1].color = 0xAABBCC;
    p.items[1].intensity = -5;
    p.items[1].highlight = 1;
    p.items[2].objectId = 513;
    p.items[3].correlative = 77;  // past the count: not stored
    p.selectedItem = 2;
    p.reservedWord = -2;
    p.cameraCount = 1;
    p.cameras[1] = {1, 1, 2, 3, -4, {9, 8, 7, 6}};
    p.flybyCount = 1;
    p.flybyCameras[1].room = 1;
    p.flybyCameras[1].angle2 = -90;
    p.flybyCameras[1].unused[11] = 0xEE;
    p.soundSourceCount = 1;
    p.soundSources[1].height = -256;
    p.selectedSoundSource = 1;
    p.triggerCount = 2;
    p.triggers.resize(3);
    p.triggers[0].name = "Door";
    p.triggers[0].mask = 0x3E;
    p.triggers[0].itemNumber = 12;
    p.triggers[1].timer = -1;
    p.triggers[2].name = "not stored";
    p.animSetCount = 1;
    p.animSets[1].frameCount = 2;
    p.animSets[1].frames[1].textureId = 9999;
    DefaultFaceUV(p.animSets[1].frames[1]);
    p.reservedBlock[29] = 0x55;
    tcuarto& r = p.rooms[1];
    r.columns = 2;
    r.rows = 3;
    r.height = 6;
    r.x = -3;
    r.z = 70000;
    r.y = 2;
    r.name = "Hall";
    r.sky = 1;
    InitRoomSectors(p, 1);
    r.sectors[1][2].floorClicks = -3;
    r.sectors[2][3].walls[7][5].textureId = 42;
    r.sectors[2][3].ceilingPieceHeights[5] = 2.5f;
    r.sectors[2][1].indicatorWord = 0xBEEF;
    r.boxCount = 1;
    r.selectedBox = 1;
    r.boxes[1] = {{1, 2}, -1, 3, 4, 5, 6};
    r.staticCount = 2;
    r.statics[2].meshSlot = 1000;
    r.statics[2].intensity = -1;
    r.selectedStatic = 2;
    r.lightCount = 1;
    r.lights[1].color = 0xFFFFFF;
    r.lights[1].blendMode = -2;
    r.lights[1].enabled = 1;
    r.ambientIntensity = 16;
    r.reservedWords = {-1, -1};
    r.ambientColor = 0x00FFFFFF;
    r.reservedColors = {0x00FFFFFF, 0x00FFFFFF};
    r.reservedPair = {0x1234, 0x5678};

    const std::string name = dir.file("demo.vel");
    Save(p, name);
    const auto file = ReadFileBytes(name);
    const auto expected = ProjectStream(p).bytes;
    ASSERT_EQ(expected.size(), 939u + 90 + 6 * 2106 + 2 + 11 + 2 + 2 * 23 + 2 + 2 + 16 + 2 + 2 * 33 + 14 + 23 + 23 +
                                   2 * 269 + 626);
    // Spot checks of absolute positions, straight from the layout.
    EXPECT_EQ(expected[0], 18);
    EXPECT_EQ(expected[19], 2);
    EXPECT_EQ(expected[20], 4);  // length of "Demo"
    EXPECT_EQ(expected[887], 2);  // item count
    EXPECT_EQ(expected[889], 4);  // first byte of the first item's correlative number
    EXPECT_EQ(InflateContainer(file), expected);
    // The whole file: the container head and the level-9 stream zlib makes of the content.
    EXPECT_EQ(file, ZlibContainer(expected));
}

TEST_F(ProjectFile, EmptyProjectIsACompleteFileEndingWithTheReservedBlock)
{
    tcuarto_list p;
    ResetProject(p);
    for (int i = 0; i < 30; ++i) p.reservedBlock[i] = static_cast<uint8_t>(i + 1);
    Save(p, dir.file("empty.vel"));
    const auto content = InflateContainer(ReadFileBytes(dir.file("empty.vel")));
    ASSERT_EQ(content.size(), 939u);
    EXPECT_EQ(content, ProjectStream(p).bytes);
    EXPECT_EQ(content[909], 1);
    EXPECT_EQ(content[938], 30);

    tcuarto_list q;
    MakeSmallProject(q);
    ASSERT_EQ(LoadProject(q, dir.file("empty.vel")), 0);
    EXPECT_EQ(StoredDifference(q, p), "");
    EXPECT_EQ(q.rooms.size(), 12u);
}

// ---------------------------------------------------------------------------
// Round trips

TEST_F(ProjectFile, RoundTripsRoomsOfSeveralSizesWithTablesFullAndEmpty)
{
    struct Case {
        int rooms, columns, rows, fill;
    };
    for (const Case& c : {Case{1, 1, 1, 0}, Case{2, 20, 20, 256}, Case{3, 1, 17, 1}, Case{2, 13, 1, 5},
                          Case{4, 3, 7, 256}, Case{1, 0, 9, 2}, Case{1, 6, 0, 2}, Case{0, 0, 0, 256}}) {
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
        EXPECT_EQ(InflateContainer(first), ProjectStream(p).bytes) << label;
        EXPECT_EQ(first[4] | (first[5] << 8) | (first[6] << 16) | (uint32_t(first[7]) << 24), first.size() - 12)
            << label;
        Save(q, dir.file("trip2.vel"));
        EXPECT_EQ(ReadFileBytes(dir.file("trip2.vel")), first) << label;
        EXPECT_TRUE(sink.messages.empty()) << label;
    }
}

TEST_F(ProjectFile, MaximalTablesInEveryRoomRoundTrip)
{
    tcuarto_list p;
    MakeProject(p, 255, 2, 2, 1000, 8);
    EXPECT_EQ(p.itemCount, 256);
    EXPECT_EQ(p.rooms[255].lightCount, 25);
    Save(p, dir.file("full.vel"));
    tcuarto_list q;
    ASSERT_EQ(LoadProject(q, dir.file("full.vel")), 0);
    EXPECT_EQ(StoredDifference(q, p), "");
    EXPECT_EQ(q.rooms.size(), 267u);
}

TEST_F(ProjectFile, InMemoryStateSurvivesALoad)
{
    tcuarto_list p;
    MakeProject(p, 2, 4, 4, 2, 3);
    p.triggerCount = 0;
    p.animSetCount = 0;
    Save(p, dir.file("p.vel"));

    tcuarto_list q;
    MakeProject(q, 20, 2, 3, 6, 4);
    TProgressBar gauge;
    q.progressGauge = &gauge;
    q.neighbourRoom = 4;
    q.highlightedItem = 5;
    const auto triggers = q.triggers;
    const auto item5 = q.items[5];
    const auto anim2 = q.animSets[2];
    const auto light4 = q.rooms[1].lights[4];
    ASSERT_EQ(LoadProject(q, dir.file("p.vel")), 0);
    EXPECT_EQ(StoredDifference(q, p), "");
    // A trigger count of 0 keeps the triggers already in memory.
    EXPECT_EQ(q.triggerCount, 0);
    ASSERT_EQ(q.triggers.size(), triggers.size());
    EXPECT_EQ(std::memcmp(q.triggers.data(), triggers.data(), triggers.size() * sizeof(tproject_trigger)), 0);
    // Slots past the counts keep what they held.
    EXPECT_EQ(std::memcmp(&q.items[5], &item5, sizeof item5), 0);
    EXPECT_EQ(std::memcmp(&q.animSets[2], &anim2, sizeof anim2), 0);
    EXPECT_EQ(std::memcmp(&q.rooms[1].lights[4], &light4, sizeof light4), 0);
    EXPECT_EQ(q.progressGauge, &gauge);
    EXPECT_EQ(q.neighbourRoom, 4);
    EXPECT_EQ(q.highlightedItem, 5);
    // Whatever the array held before, it is now room count + 12 long.
    EXPECT_EQ(q.rooms.size(), 14u);

    // A non-zero trigger count replaces the array by exactly that many.
    tcuarto_list r;
    MakeProject(r, 1, 1, 1, 3, 5);
    Save(r, dir.file("r.vel"));
    ASSERT_EQ(LoadProject(q, dir.file("r.vel")), 0);
    EXPECT_EQ(q.triggers.size(), 3u);
}

TEST_F(ProjectFile, ProgressGaugeFollowsTheRooms)
{
    tcuarto_list p;
    MakeProject(p, 4, 1, 1, 0, 1);
    TProgressBar gauge;
    std::vector<int> positions;
    gauge.OnChange = [&](const TProgressBar& g) { positions.push_back(g.Position()); };
    p.progressGauge = &gauge;
    Save(p, dir.file("g.vel"));
    EXPECT_EQ(gauge.Max(), 4);
    EXPECT_EQ(gauge.Position(), 0);
    EXPECT_EQ(positions, (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 0}));
    positions.clear();
    ASSERT_EQ(LoadProject(p, dir.file("g.vel")), 0);
    EXPECT_EQ(positions, (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 0}));
}

TEST_F(ProjectFile, LastReservedWordDropsItsFillerAndOtherVersionsAndPlainContentLoad)
{
    tcuarto_list p;
    MakeSmallProject(p);
    TStreamOptions o;
    o.lastWordFiller = 0xCDAB;
    o.version = 3;
    const auto content = ProjectStream(p, o).bytes;
    WriteFileBytes(dir.file("v3.vel"), ZlibContainer(content));
    tcuarto_list q;
    ASSERT_EQ(LoadProject(q, dir.file("v3.vel")), 0);
    EXPECT_EQ(StoredDifference(q, p), "");
    EXPECT_EQ(q.rooms[2].reservedPair[1], p.rooms[2].reservedPair[1]);

    // Content stored without the container loads too.
    WriteFileBytes(dir.file("plain.vel"), content);
    tcuarto_list r;
    ASSERT_EQ(LoadProject(r, dir.file("plain.vel")), 0);
    EXPECT_EQ(StoredDifference(r, p), "");
    // Bytes after the last room are ignored.
    auto longer = content;
    longer.insert(longer.end(), 5, 0x77);
    WriteFileBytes(dir.file("longer.vel"), ZlibContainer(longer));
    tcuarto_list s;
    ASSERT_EQ(LoadProject(s, dir.file("longer.vel")), 0);
    EXPECT_EQ(StoredDifference(s, p), "");
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ProjectFile, RoomWithoutColumnsOrRowsHoldsNoSectorsWhateverItsOtherSize)
{
    tcuarto_list p;
    MakeProject(p, 2, 1, 1, 0, 2);
    p.rooms[1].columns = 0;
    p.rooms[1].rows = 65535;
    p.rooms[2].columns = 65535;
    p.rooms[2].rows = 0;
    const auto content = ProjectStream(p).bytes;
    WriteFileBytes(dir.file("flat.vel"), ZlibContainer(content));
    tcuarto_list q;
    ASSERT_EQ(LoadProject(q, dir.file("flat.vel")), 0);
    EXPECT_EQ(q.rooms[1].rows, 65535);
    EXPECT_TRUE(q.rooms[1].sectors.empty());
    EXPECT_TRUE(q.rooms[2].sectors.empty());
    // And such a project saves again as it was read.
    Save(q, dir.file("again.vel"));
    EXPECT_EQ(InflateContainer(ReadFileBytes(dir.file("again.vel"))), content);
}

TEST_F(ProjectFile, ReadOnlyProjectFileLoads)
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
}

TEST_F(ProjectFile, UnreadableFilesRaiseTheInputOutputError)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const tcuarto_list before = p;
    EXPECT_THROW(LoadProject(p, dir.file("none.vel")), EInOutError);
    std::filesystem::create_directory(dir.file("folder.vel"));
    EXPECT_THROW(LoadProject(p, dir.file("folder.vel")), EInOutError);
    EXPECT_EQ(AnyDifference(p, before), "");
}

TEST_F(ProjectFile, TheContainersClaimedSizeIsAnEstimate)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const auto content = ProjectStream(p).bytes;
    auto withClaim = [&](uint32_t claim, size_t keep = SIZE_MAX) {
        auto file = ZlibContainer(content);
        for (int i = 0; i < 4; ++i) file[8 + i] = static_cast<uint8_t>(claim >> (8 * i));
        file.resize(std::min(keep, file.size()));
        return file;
    };
    // Claims above and below the real size, and none: the content ends where the stream does.
    for (const uint32_t claim : {static_cast<uint32_t>(content.size()) + 100000, static_cast<uint32_t>(content.size()) - 10,
                                 100u, 0u}) {
        WriteFileBytes(dir.file("claim.vel"), withClaim(claim));
        tcuarto_list q;
        ASSERT_EQ(LoadProject(q, dir.file("claim.vel")), 0) << claim;
        EXPECT_EQ(StoredDifference(q, p), "") << claim;
    }
    // A small claim does not hide a stream cut short.
    ExpectRefused(withClaim(100, ZlibContainer(content).size() - 40), {ZLIB_DATA_ERROR}, "cut, small claim");
}

// ---------------------------------------------------------------------------
// Refusals

TEST_F(ProjectFile, WrongHeaderIsRefused)
{
    tcuarto_list p;
    MakeSmallProject(p);
    auto content = ProjectStream(p).bytes;
    auto other = content;
    other[5] = 'x';
    ExpectRefused(ZlibContainer(other), {PROJECT_BAD_HEADER_MESSAGE}, "changed letter");
    other = content;
    other[0] = 17;
    ExpectRefused(ZlibContainer(other), {PROJECT_BAD_HEADER_MESSAGE}, "changed length");
    ExpectRefused({}, {PROJECT_BAD_HEADER_MESSAGE}, "empty file");
    ExpectRefused(std::vector<uint8_t>(content.begin(), content.begin() + 10), {PROJECT_BAD_HEADER_MESSAGE},
                  "short file");
    ExpectRefused(ZlibContainer({}), {PROJECT_BAD_HEADER_MESSAGE}, "empty container");
}

TEST_F(ProjectFile, VersionOneIsRefused)
{
    tcuarto_list p;
    MakeSmallProject(p);
    for (unsigned version : {0u, 1u}) {
        TStreamOptions o;
        o.version = version;
        ExpectRefused(ZlibContainer(ProjectStream(p, o).bytes), {PROJECT_OLD_VERSION_MESSAGE},
                      "version " + std::to_string(version));
    }
    EXPECT_EQ(std::string(PROJECT_OLD_VERSION_MESSAGE),
              " Sorry, Vel version 1.x no supported; use CONVERTER tool to migrate your project.");
    EXPECT_EQ(std::string(PROJECT_BAD_HEADER_MESSAGE), " ERROR...invalid DXVel3d file format! ");
}

TEST_F(ProjectFile, TruncatedFilesAreRefusedWhereverTheyEnd)
{
    tcuarto_list p;
    MakeProject(p, 2, 2, 2, 2, 6);
    const auto content = ProjectStream(p).bytes;
    auto cut = [&](size_t n) { return std::vector<uint8_t>(content.begin(), content.begin() + n); };
    const size_t room1 = content.size() - 2 * (90 + 4 * 2106 + 2 + 2 * 11 + 2 + 2 * 23 + 2 + 2 + 2 * 16 + 2);
    ExpectDamaged(cut(19), "the file ends inside the header.");
    ExpectDamaged(ZlibContainer(cut(900)), "the file ends inside the item table.");
    ExpectDamaged(ZlibContainer(cut(room1 - 1)), "the file ends inside the project header.");
    ExpectDamaged(ZlibContainer(cut(room1 + 50)), "the file ends inside room 1.");
    ExpectDamaged(ZlibContainer(cut(room1 + 90 + 2106)), "the file ends inside the sectors of room 1.");
    ExpectDamaged(ZlibContainer(cut(content.size() - 1)), "the file ends inside room 2.");

    // Every other length, stored plain, and a sample stored compressed.
    for (size_t n = 20; n < content.size(); n += (n < 1200 ? 1 : 37)) {
        WriteFileBytes(dir.file("cut.vel"), n % 5 == 0 ? ZlibContainer(cut(n)) : cut(n));
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

TEST_F(ProjectFile, DamagedCompressedDataIsRefused)
{
    tcuarto_list p;
    MakeSmallProject(p);
    const auto good = ZlibContainer(ProjectStream(p).bytes);
    auto flipped = good;
    for (size_t i = 40; i < 60; ++i) flipped[i] ^= 0x5A;
    ExpectRefused(flipped, {ZLIB_DATA_ERROR}, "flipped bytes");
    auto checksum = good;
    checksum.back() ^= 1;
    ExpectRefused(checksum, {ZLIB_DATA_ERROR}, "wrong checksum");
    ExpectRefused(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), {ZLIB_DATA_ERROR},
                  "stream cut short");
    std::vector<uint8_t> junk = {'Z', 'L', 'I', 'B', 200, 0, 0, 0, 0, 0, 1, 0};
    junk.resize(212, 0xA7);
    ExpectRefused(junk, {ZLIB_DATA_ERROR}, "junk stream");
}

TEST_F(ProjectFile, CountsAboveATablesCapacityAreRefused)
{
    struct Case {
        std::function<void(tcuarto_list&)> change;
        std::string detail;
    };
    const std::vector<Case> cases = {
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
    };
    for (const Case& c : cases) {
        tcuarto_list p;
        MakeSmallProject(p, 31);
        c.change(p);
        ExpectDamaged(ZlibContainer(ProjectStream(p).bytes), c.detail, c.detail);
    }
    // The capacities themselves are fine.
    tcuarto_list p;
    MakeSmallProject(p, 31);
    p.itemCount = 256;
    p.rooms[1].boxCount = 10;
    WriteFileBytes(dir.file("cap.vel"), ZlibContainer(ProjectStream(p).bytes));
    tcuarto_list q;
    EXPECT_EQ(LoadProject(q, dir.file("cap.vel")), 0);
}

TEST_F(ProjectFile, SizesTheFileCannotHoldAllocateNothing)
{
    tcuarto_list p;
    MakeProject(p, 1, 1, 1, 0, 2);
    p.rooms[1].columns = 65535;
    p.rooms[1].rows = 65535;
    // Terabytes of sectors claimed by a file of a few kilobytes.
    ExpectDamaged(ZlibContainer(ProjectStream(p).bytes), "the file ends inside the sectors of room 1.");

    tcuarto_list t;
    MakeProject(t, 0, 0, 0, 0, 2);
    t.triggerCount = 32767;
    ExpectDamaged(ZlibContainer(ProjectStream(t).bytes), "the file ends inside the trigger table.");
}

// ---------------------------------------------------------------------------
// Backups and temporary names

TEST_F(ProjectFile, EveryThirdSaveRotatesTheBackups)
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
    EXPECT_FALSE(FileExists(name + ".BAK03"));
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(Entries(dir.path()).size(), 3u);
}

TEST_F(ProjectFile, RotationAtTheMaximumDropsTheOldestBackup)
{
    const std::string name = dir.file("m.vel");
    tcuarto_list p;
    ResetProject(p);
    p.name = "current";
    Save(p, name);
    WriteFileBytes(name + ".BAK01", std::vector<uint8_t>{1});
    WriteFileBytes(name + ".BAK02", std::vector<uint8_t>{2});
    p.name = "newest";
    int counter = 1;
    SaveProject(p, name, 1, 2, counter);
    EXPECT_EQ(counter, 1);
    tcuarto_list q;
    ASSERT_EQ(LoadProject(q, name), 0);
    EXPECT_EQ(q.name.str(), "newest");
    ASSERT_EQ(LoadProject(q, name + ".BAK01"), 0);
    EXPECT_EQ(q.name.str(), "current");
    EXPECT_EQ(ReadFileBytes(name + ".BAK02"), std::vector<uint8_t>{1});
    EXPECT_EQ(Entries(dir.path()), (std::set<std::string>{"m.vel", "m.vel.BAK01", "m.vel.BAK02"}));
}

TEST_F(ProjectFile, RotateBackupsShiftsConsecutiveBackups)
{
    const std::string base = dir.file("b");
    RotateBackups(base, base, 1, 0);
    EXPECT_TRUE(Entries(dir.path()).empty()) << "nothing happens without the base file";

    WriteFileBytes(base, std::vector<uint8_t>{0});
    WriteFileBytes(base + ".BAK01", std::vector<uint8_t>{1});
    WriteFileBytes(base + ".BAK02", std::vector<uint8_t>{2});
    WriteFileBytes(base + ".BAK04", std::vector<uint8_t>{4});
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

TEST_F(ProjectFile, RandomFileNamesFollowTheGeneratorAndSkipTakenNames)
{
    const uint32_t saved = RandSeed;
    EXPECT_EQ(RandomFileName(0), "");
    EXPECT_EQ(RandSeed, saved) << "no draw for an empty name";

    // The same generator, step by step.
    auto expected = [](uint32_t& seed, int length) {
        const std::string alphabet = "_~01234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        std::string s;
        for (int i = 0; i < length; ++i) {
            seed = seed * 0x08088405u + 1u;
            s += alphabet[static_cast<size_t>((static_cast<uint64_t>(seed) * 39) >> 32)];
        }
        return s;
    };
    uint32_t seed = 12345;
    const std::string first = expected(seed, 8);
    const std::string second = expected(seed, 8);
    RandSeed = 12345;
    EXPECT_EQ(RandomFileName(8, dir.path() + "/"), first);

    // A taken name (even by a directory or a dangling link) is drawn again.
    ::symlink("/nonexistent/target", dir.file(first).c_str());
    RandSeed = 12345;
    EXPECT_EQ(RandomFileName(8, dir.path() + "/"), second);
    ::unlink(dir.file(first).c_str());
    std::filesystem::create_directory(dir.file(first));
    RandSeed = 12345;
    EXPECT_EQ(RandomFileName(8, dir.path() + "/"), second);
    {
        ScopedWorkingDir cwd(dir.path());
        RandSeed = 12345;
        EXPECT_EQ(RandomFileName(8), second);
    }
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
