#include "level/project_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "level/memory_budget.h"
#include "level/zfiles.h"
#include "level/zlibwrap.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/progress.h"
#include "platform/rtl/random.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/work_meter.h"

namespace {

#pragma pack(push, 1)
// The fixed fields of a room as they lie in the file.
struct TRoomHead {
    int32_t x;
    int32_t y;
    int32_t z;
    uint16_t rows;
    uint16_t columns;
    uint16_t height;
    TShortString<40> name;
    uint8_t water;
    uint8_t wind;
    uint8_t quicksand;
    uint8_t sky;
    int16_t ambientIntensity;
    int16_t reservedWords[2];
    uint32_t ambientColor;
    uint32_t reservedColors[2];
    uint16_t reservedWord;
    uint8_t reservedByte;
    uint16_t reservedPair0;
    uint16_t reservedPair1;
    uint8_t filler[2];  // written as zeros, dropped when read
};
#pragma pack(pop)
static_assert(sizeof(TRoomHead) == 90);

constexpr int HEADER_BYTES = 19;

const TShortString<18>& StoredHeader()
{
    static const TShortString<18> header(PROJECT_FILE_HEADER);
    return header;
}

// ---------------------------------------------------------------------------
// Writing

template <class T>
void Put(TZStreamWriter& f, const T& value)
{
    f.Write(&value, static_cast<int64_t>(sizeof value));
}

// Entries 1..count of a 1-based table.
template <class T, std::size_t N>
void PutTable(TZStreamWriter& f, const std::array<T, N>& table, int count)
{
    if (count > 0) f.Write(&table[1], static_cast<int64_t>(sizeof(T)) * count);
}

[[noreturn]] void RaiseUnsaveable(const std::string& what)
{
    throw std::out_of_range("The project cannot be saved: " + what);
}

void CheckCount(int count, int capacity, const std::string& what, const std::string& of = std::string())
{
    if (count < 0 || count > capacity)
        RaiseUnsaveable("the " + what + " count " + std::to_string(count) + of + " is outside 0.." +
                        std::to_string(capacity) + ".");
}

// A save must never read past a table, so counts are checked before the
// temporary file exists.
void CheckSaveable(const tcuarto_list& p)
{
    CheckCount(p.itemCount, MAX_PROJECT_ITEMS, "item");
    CheckCount(p.cameraCount, MAX_PROJECT_CAMERAS, "camera");
    CheckCount(p.flybyCount, MAX_PROJECT_FLYBYS, "flyby camera");
    CheckCount(p.soundSourceCount, MAX_PROJECT_SOUNDS, "sound source");
    CheckCount(p.animSetCount, MAX_PROJECT_ANIM_SETS, "animated set");
    CheckCount(p.triggerCount, static_cast<int>(p.triggers.size()), "trigger");
    if (p.roomCount >= p.rooms.size())
        RaiseUnsaveable("the room count " + std::to_string(p.roomCount) + " exceeds the rooms array.");
    for (int i = 1; i <= p.roomCount; ++i) {
        const tcuarto& r = p.rooms[i];
        const std::string of = " of room " + std::to_string(i);
        CheckCount(r.boxCount, MAX_ROOM_BOXES, "box", of);
        CheckCount(r.staticCount, MAX_ROOM_STATICS, "static", of);
        CheckCount(r.lightCount, MAX_ROOM_LIGHTS, "light", of);
        if (r.columns > 0 && r.rows > 0 &&
            (r.sectors.ColumnSlots() < r.columns + 1 || r.sectors.RowSlots() < r.rows + 1))
            RaiseUnsaveable("the sector grid of room " + std::to_string(i) + " is smaller than its " +
                            std::to_string(r.columns) + " x " + std::to_string(r.rows) + " sectors.");
    }
}

void WriteRoom(TZStreamWriter& f, const tcuarto& r)
{
    TRoomHead head;
    head.x = r.x;
    head.y = r.y;
    head.z = r.z;
    head.rows = r.rows;
    head.columns = r.columns;
    head.height = r.height;
    head.name = r.name;
    head.water = r.water;
    head.wind = r.wind;
    head.quicksand = r.quicksand;
    head.sky = r.sky;
    head.ambientIntensity = r.ambientIntensity;
    head.reservedWords[0] = r.reservedWords[0];
    head.reservedWords[1] = r.reservedWords[1];
    head.ambientColor = r.ambientColor;
    head.reservedColors[0] = r.reservedColors[0];
    head.reservedColors[1] = r.reservedColors[1];
    head.reservedWord = r.reservedWord;
    head.reservedByte = r.reservedByte;
    head.reservedPair0 = r.reservedPair[0];
    head.reservedPair1 = r.reservedPair[1];
    head.filler[0] = head.filler[1] = 0;
    Put(f, head);

    // Rows 1..rows of a column lie together in memory: one block per column.
    if (r.rows > 0)
        for (int c = 1; c <= r.columns; ++c) f.Write(r.sectors[c] + 1, static_cast<int64_t>(sizeof(tsector)) * r.rows);

    Put(f, r.boxCount);
    Put(f, r.selectedBox);
    PutTable(f, r.boxes, r.boxCount);
    Put(f, r.staticCount);
    PutTable(f, r.statics, r.staticCount);
    Put(f, r.selectedStatic);
    Put(f, r.lightCount);
    PutTable(f, r.lights, r.lightCount);
    Put(f, r.selectedLight);
}

void WriteProject(TZStreamWriter& f, const tcuarto_list& p)
{
    Put(f, StoredHeader());
    Put(f, PROJECT_FILE_VERSION);
    Put(f, p.name);
    Put(f, p.comments);
    Put(f, p.basefilePath);
    Put(f, p.texturesfilePath);
    Put(f, p.sparePath);
    Put(f, p.scriptDirectory);
    Put(f, p.buildDirectory);
    Put(f, p.currentRoom);
    Put(f, p.roomCount);
    Put(f, p.playerRoom);
    Put(f, p.playerColumn);
    Put(f, p.playerRow);
    Put(f, p.reservedBytes);
    Put(f, p.itemCount);
    PutTable(f, p.items, p.itemCount);
    Put(f, p.selectedItem);
    Put(f, p.reservedWord);
    Put(f, p.cameraCount);
    PutTable(f, p.cameras, p.cameraCount);
    Put(f, p.selectedCamera);
    Put(f, p.flybyCount);
    PutTable(f, p.flybyCameras, p.flybyCount);
    Put(f, p.selectedFlyby);
    Put(f, p.soundSourceCount);
    PutTable(f, p.soundSources, p.soundSourceCount);
    Put(f, p.selectedSoundSource);
    Put(f, p.triggerCount);
    if (p.triggerCount != 0)
        f.Write(p.triggers.data(), static_cast<int64_t>(sizeof(tproject_trigger)) * p.triggerCount);
    Put(f, p.animSetCount);
    PutTable(f, p.animSets, p.animSetCount);
    Put(f, p.reservedBlock);

    TProgressBar* gauge = p.progressGauge;
    if (gauge) {
        gauge->SetMin(0);
        gauge->SetMax(p.roomCount);
        gauge->SetPosition(0);
    }
    for (int i = 1; i <= p.roomCount; ++i) {
        WriteRoom(f, p.rooms[i]);
        if (gauge) gauge->SetPosition(i);
    }
}

// Makes a completed rename durable; a failure here loses nothing, so it is not reported.
void SyncDirectory(const std::string& fileName)
{
    const std::string dir = ExtractFilePath(fileName);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// Any entry of that name (file, directory, link, even a dangling link) takes the name.
bool NameTaken(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// ---------------------------------------------------------------------------
// Reading

// A refusal of the file, with the message to show.
struct ERefused {
    std::string message;
};

[[noreturn]] void Refuse(const std::string& detail) { throw ERefused{PROJECT_DAMAGED_MESSAGE + detail}; }

// The logical content of a project file, read front to back. A "ZLIB"
// container (recognised as the buffered file layer does) is inflated piece
// by piece straight into the records being read, so that loading needs no
// second copy of the whole content; any other file is the content itself.
class TContentReader {
public:
    explicit TContentReader(const std::string& name) : name_(name)
    {
        // Read-only, so that a write-protected project opens.
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) RaiseInOutError(name, errno);
        struct stat st;
        if (::fstat(fd_, &st) != 0) RaiseInOutError(name, errno);
        const int64_t fileLength = st.st_size;
        staging_.resize(STAGING_BYTES);
        uint8_t head[12];
        if (fileLength > 12 && ReadFile(head, 12) == 12 && std::memcmp(head, "ZLIB", 4) == 0) {
            const uint32_t k = ReadLE32(head + 4);
            compressed_ = true;
            inputLeft_ = std::min<int64_t>(k, fileLength - 12);
            // The uncompressed size stored at offset 8 is only an estimate, as
            // for the buffered file layer: the content ends where the stream
            // ends, and can be no more than the stream's bytes can hold.
            total_ = MostInflated(inputLeft_);
            input_.resize(static_cast<std::size_t>(std::min<int64_t>(inputLeft_, INPUT_CHUNK)) + 1);
            inflater_ = std::make_unique<TInflater>();
        } else {
            if (::lseek(fd_, 0, SEEK_SET) < 0) RaiseInOutError(name, errno);
            total_ = fileLength;
        }
    }

    ~TContentReader()
    {
        if (fd_ >= 0) ::close(fd_);
    }

    TContentReader(const TContentReader&) = delete;
    TContentReader& operator=(const TContentReader&) = delete;

    // At most this many bytes of content are left.
    int64_t Remaining() const { return total_ - consumed_; }

    // Copies up to n bytes of content and returns how many there were.
    int64_t Read(void* destination, int64_t n)
    {
        n = std::min(n, Remaining());
        if (n <= 0) return 0;
        auto* dst = static_cast<uint8_t*>(destination);
        int64_t done = 0;
        while (done < n) {
            if (stagedFrom_ < stagedTo_) {
                const int64_t part = std::min<int64_t>(n - done, stagedTo_ - stagedFrom_);
                std::memcpy(dst + done, staging_.data() + stagedFrom_, static_cast<std::size_t>(part));
                stagedFrom_ += part;
                done += part;
            } else if (n - done >= DIRECT_BYTES) {
                // Large blocks (a column of sectors) go straight to their place.
                const int64_t part = Produce(dst + done, n - done);
                done += part;
                if (part == 0) break;
            } else {
                stagedFrom_ = 0;
                stagedTo_ = Produce(staging_.data(), STAGING_BYTES);
                if (stagedTo_ == 0) break;
            }
        }
        ChargeWork(static_cast<uint64_t>(done));
        consumed_ += done;
        return done;
    }

    // Inflates what is left of the stream, so that damage at its end (a
    // stream cut short, a checksum that does not match) is known: at most a
    // fixed amount of content past what was read, so that content behind the
    // project costs no more, however much of it there is. A project read
    // whole within its memory limit must still be read within the time a
    // file may take; checking as much again as was read would double that.
    // Damage further on lies in content no project reads and goes unnoticed.
    bool DataError()
    {
        int64_t allowance = TRAILING_CHECK_BYTES;
        while (compressed_ && !ended_ && !dataError_ && allowance > 0) {
            const int64_t got = Produce(staging_.data(), STAGING_BYTES);
            if (got == 0 && !ended_) dataError_ = true;
            allowance -= got;
        }
        return dataError_;
    }

private:
    static constexpr int64_t INPUT_CHUNK = 1 << 18;
    static constexpr int64_t STAGING_BYTES = 1 << 16;
    static constexpr int64_t DIRECT_BYTES = 1 << 14;
    static constexpr int64_t TRAILING_CHECK_BYTES = 1 << 20;

    int64_t ReadFile(uint8_t* dst, int64_t n) { return ReadFully(fd_, name_, dst, n); }

    // Up to n more bytes of content into dst; returns how many there were.
    int64_t Produce(uint8_t* dst, int64_t n)
    {
        if (ended_ || dataError_) return 0;
        if (!compressed_) {
            const int64_t got = ReadFile(dst, n);
            ChargeWork(static_cast<uint64_t>(got));
            if (got < n) ended_ = true;
            return got;
        }
        int64_t made = 0;
        while (made < n && !inflater_->Ended() && !inflater_->Damaged()) {
            if (inflater_->Hungry() && inputLeft_ > 0) {
                const int64_t got = ReadFile(input_.data(), std::min<int64_t>(inputLeft_, INPUT_CHUNK));
                inputLeft_ = got > 0 ? inputLeft_ - got : 0;
                inflater_->Give(input_.data(), static_cast<size_t>(got));
            }
            // With the file's part of the stream all given, a stream that
            // needs more was cut short.
            made += static_cast<int64_t>(inflater_->Take(dst + made, static_cast<size_t>(n - made), inputLeft_ == 0));
        }
        ended_ = inflater_->Ended();
        dataError_ = inflater_->Damaged();
        return made;
    }

    std::string name_;
    int fd_ = -1;
    bool compressed_ = false;
    bool ended_ = false;
    bool dataError_ = false;
    std::unique_ptr<TInflater> inflater_;
    std::vector<uint8_t> input_;    // a chunk of the compressed stream
    int64_t inputLeft_ = 0;         // bytes of the stream still in the file
    std::vector<uint8_t> staging_;  // content read ahead for small reads
    int64_t stagedFrom_ = 0;
    int64_t stagedTo_ = 0;
    int64_t total_ = 0;  // content bytes at most
    int64_t consumed_ = 0;
};

// Reads fields of the content; a read that the content cannot satisfy refuses the file.
class TReader {
public:
    explicit TReader(TContentReader& in) : in_(in) {}

    int64_t Remaining() const { return in_.Remaining(); }

    // Counts bytes of memory about to be allocated for the project; more
    // than a project may take is out of memory, before anything is allocated.
    void Spend(int64_t bytes) { memory_.Spend(static_cast<uint64_t>(bytes)); }

    void Get(void* destination, int64_t n, const std::string& where)
    {
        if (in_.Read(destination, n) != n) Refuse("the file ends inside " + where + ".");
    }

    template <class T>
    void Get(T& value, const std::string& where)
    {
        Get(&value, sizeof value, where);
    }

    // A count of a 1-based table, checked against the table's capacity.
    // `of` names the owner of the table, if any (" of room 3").
    template <class C, class T, std::size_t N>
    void GetCount(C& count, const std::array<T, N>&, const std::string& what, const std::string& where,
                  const std::string& of = std::string())
    {
        Get(count, where);
        const int n = static_cast<int>(count);
        const int capacity = static_cast<int>(N) - 1;
        if (n < 0 || n > capacity)
            Refuse("the " + what + " count " + std::to_string(n) + of + " is outside 0.." + std::to_string(capacity) +
                   ".");
    }

    // Entries 1..count of a 1-based table.
    template <class T, std::size_t N>
    void GetEntries(std::array<T, N>& table, int count, const std::string& where)
    {
        if (count > 0) Get(&table[1], static_cast<int64_t>(sizeof(T)) * count, where);
    }

    // A count, then its entries.
    template <class C, class T, std::size_t N>
    void GetTable(C& count, std::array<T, N>& table, const std::string& what, const std::string& where,
                  const std::string& of = std::string())
    {
        GetCount(count, table, what, where, of);
        GetEntries(table, count, where);
    }

private:
    TContentReader& in_;
    TMemoryBudget memory_{ProjectMemoryLimit};
};

// The first block of a room's sector grid; it then doubles as columns arrive.
constexpr int64_t FIRST_GRID_BYTES = 1 << 20;

void ReadRoom(TReader& in, tcuarto& r, int number)
{
    const std::string where = "room " + std::to_string(number);
    TRoomHead head;
    in.Get(head, where);
    r.x = head.x;
    r.y = head.y;
    r.z = head.z;
    r.rows = head.rows;
    r.columns = head.columns;
    r.height = head.height;
    r.name = head.name;
    r.water = head.water;
    r.wind = head.wind;
    r.quicksand = head.quicksand;
    r.sky = head.sky;
    r.ambientIntensity = head.ambientIntensity;
    r.reservedWords = {head.reservedWords[0], head.reservedWords[1]};
    r.ambientColor = head.ambientColor;
    r.reservedColors = {head.reservedColors[0], head.reservedColors[1]};
    r.reservedWord = head.reservedWord;
    r.reservedByte = head.reservedByte;
    r.reservedPair = {head.reservedPair0, head.reservedPair1};

    // A grid without columns or rows holds no sector at all and is kept
    // empty, whatever its other dimension.
    const int columns = head.columns;
    const int rows = head.rows;
    if (columns > 0 && rows > 0) {
        const int64_t columnBytes = static_cast<int64_t>(sizeof(tsector)) * rows;
        if (columnBytes * columns > in.Remaining()) Refuse("the file ends inside the sectors of " + where + ".");
        in.Spend(static_cast<int64_t>(sizeof(tsector)) * (columns + 1) * (rows + 1));
        // The size of a compressed content is known only once it has been
        // inflated, so the grid grows with the columns that arrive rather
        // than being sized by what the room claims. Column 0 and row 0 are
        // not stored; each is cleared next to the sectors being read, so no
        // page is touched before its data arrives.
        const int first = static_cast<int>(std::clamp<int64_t>(FIRST_GRID_BYTES / columnBytes, 1, columns));
        r.sectors.ResizeForOverwrite(first + 1, rows + 1);
        std::memset(static_cast<void*>(r.sectors[0]), 0, sizeof(tsector) * (rows + 1));
        const std::string sectors = "the sectors of " + where;
        for (int c = 1; c <= columns; ++c) {
            if (c >= r.sectors.ColumnSlots()) {
                // Moving the columns read so far costs their bytes.
                ChargeWork(static_cast<uint64_t>(columnBytes) * static_cast<uint64_t>(c));
                r.sectors.ResizeColumnsForOverwrite(std::min(columns + 1, 2 * r.sectors.ColumnSlots()));
            }
            std::memset(static_cast<void*>(&r.sectors[c][0]), 0, sizeof(tsector));
            in.Get(r.sectors[c] + 1, columnBytes, sectors);
        }
    } else {
        r.sectors.Clear();
    }

    const std::string of = " of " + where;
    in.GetCount(r.boxCount, r.boxes, "box", where, of);
    in.Get(r.selectedBox, where);  // stored between the box count and the boxes
    in.GetEntries(r.boxes, r.boxCount, where);
    in.GetTable(r.staticCount, r.statics, "static", where, of);
    in.Get(r.selectedStatic, where);
    in.GetTable(r.lightCount, r.lights, "light", where, of);
    in.Get(r.selectedLight, where);
}

// Copies the entries in use; the slots past the count keep what they held.
template <class T, std::size_t N>
void CopyEntries(std::array<T, N>& to, const std::array<T, N>& from, int count)
{
    if (count > 0) std::copy_n(from.begin() + 1, count, to.begin() + 1);
}

void CommitRoom(tcuarto& to, tcuarto& from)
{
    to.rows = from.rows;
    to.columns = from.columns;
    to.height = from.height;
    to.x = from.x;
    to.z = from.z;
    to.y = from.y;
    to.name = from.name;
    to.water = from.water;
    to.wind = from.wind;
    to.quicksand = from.quicksand;
    to.sky = from.sky;
    std::swap(to.sectors, from.sectors);
    to.boxCount = from.boxCount;
    to.selectedBox = from.selectedBox;
    CopyEntries(to.boxes, from.boxes, from.boxCount);
    to.staticCount = from.staticCount;
    CopyEntries(to.statics, from.statics, from.staticCount);
    to.lightCount = from.lightCount;
    CopyEntries(to.lights, from.lights, from.lightCount);
    to.selectedStatic = from.selectedStatic;
    to.selectedLight = from.selectedLight;
    to.ambientIntensity = from.ambientIntensity;
    to.reservedWords = from.reservedWords;
    to.ambientColor = from.ambientColor;
    to.reservedColors = from.reservedColors;
    to.reservedWord = from.reservedWord;
    to.reservedByte = from.reservedByte;
    to.reservedPair = from.reservedPair;
}

// Moves a completely read project into place. The rooms array must already
// have room for room count + 12 elements, so that nothing here allocates
// and nothing can fail half way.
void Commit(tcuarto_list& to, tcuarto_list& from) noexcept
{
    to.name = from.name;
    to.comments = from.comments;
    to.basefilePath = from.basefilePath;
    to.texturesfilePath = from.texturesfilePath;
    to.sparePath = from.sparePath;
    to.scriptDirectory = from.scriptDirectory;
    to.buildDirectory = from.buildDirectory;
    to.currentRoom = from.currentRoom;
    to.roomCount = from.roomCount;
    to.playerRoom = from.playerRoom;
    to.playerColumn = from.playerColumn;
    to.playerRow = from.playerRow;
    to.reservedBytes = from.reservedBytes;
    to.itemCount = from.itemCount;
    CopyEntries(to.items, from.items, from.itemCount);
    to.selectedItem = from.selectedItem;
    to.reservedWord = from.reservedWord;
    to.cameraCount = from.cameraCount;
    CopyEntries(to.cameras, from.cameras, from.cameraCount);
    to.selectedCamera = from.selectedCamera;
    to.flybyCount = from.flybyCount;
    CopyEntries(to.flybyCameras, from.flybyCameras, from.flybyCount);
    to.selectedFlyby = from.selectedFlyby;
    to.soundSourceCount = from.soundSourceCount;
    CopyEntries(to.soundSources, from.soundSources, from.soundSourceCount);
    to.selectedSoundSource = from.selectedSoundSource;
    // A trigger count of 0 leaves the trigger array as it was.
    to.triggerCount = from.triggerCount;
    if (from.triggerCount != 0) to.triggers.swap(from.triggers);
    to.animSetCount = from.animSetCount;
    CopyEntries(to.animSets, from.animSets, from.animSetCount);
    to.reservedBlock = from.reservedBlock;

    to.rooms.resize(static_cast<std::size_t>(from.roomCount) + SPARE_ROOM_SLOTS);
    for (int i = 1; i <= from.roomCount; ++i) CommitRoom(to.rooms[i], from.rooms[i]);
}

void ReadProject(TReader& in, tcuarto_list& p, TProgressBar* gauge)
{
    const std::string head = "the project header";
    in.Get(p.name, head);
    in.Get(p.comments, head);
    in.Get(p.basefilePath, head);
    in.Get(p.texturesfilePath, head);
    in.Get(p.sparePath, head);
    in.Get(p.scriptDirectory, head);
    in.Get(p.buildDirectory, head);
    in.Get(p.currentRoom, head);
    in.Get(p.roomCount, head);
    in.Get(p.playerRoom, head);
    in.Get(p.playerColumn, head);
    in.Get(p.playerRow, head);
    in.Get(p.reservedBytes, head);
    in.GetTable(p.itemCount, p.items, "item", "the item table");
    in.Get(p.selectedItem, "the item table");
    in.Get(p.reservedWord, "the item table");
    in.GetTable(p.cameraCount, p.cameras, "camera", "the camera table");
    in.Get(p.selectedCamera, "the camera table");
    in.GetTable(p.flybyCount, p.flybyCameras, "flyby camera", "the flyby camera table");
    in.Get(p.selectedFlyby, "the flyby camera table");
    in.GetTable(p.soundSourceCount, p.soundSources, "sound source", "the sound source table");
    in.Get(p.selectedSoundSource, "the sound source table");

    const std::string triggers = "the trigger table";
    in.Get(p.triggerCount, triggers);
    if (p.triggerCount < 0) Refuse("the trigger count " + std::to_string(p.triggerCount) + " is negative.");
    if (p.triggerCount != 0) {
        const int64_t bytes = static_cast<int64_t>(sizeof(tproject_trigger)) * p.triggerCount;
        if (bytes > in.Remaining()) Refuse("the file ends inside " + triggers + ".");
        in.Spend(bytes);
        // The table grows with the triggers that arrive.
        constexpr int BATCH = 1024;
        for (int done = 0; done < p.triggerCount; done += BATCH) {
            const int batch = std::min(BATCH, p.triggerCount - done);
            p.triggers.resize(static_cast<std::size_t>(done + batch));
            in.Get(&p.triggers[static_cast<std::size_t>(done)], static_cast<int64_t>(sizeof(tproject_trigger)) * batch,
                   triggers);
        }
    }
    in.GetTable(p.animSetCount, p.animSets, "animated set", "the animated set table");
    in.Get(p.reservedBlock, "the project header");

    if (gauge) {
        gauge->SetMin(0);
        gauge->SetMax(p.roomCount);
        gauge->SetPosition(0);
    }
    p.rooms.resize(static_cast<std::size_t>(p.roomCount) + 1);
    for (int i = 1; i <= p.roomCount; ++i) {
        ReadRoom(in, p.rooms[i], i);
        if (gauge) gauge->SetPosition(i);
    }
}

// The file's size on disk; 0 when it cannot be had (opening it then
// raises the error).
uint64_t FileBytes(const std::string& name)
{
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// Reads the file into a new record under the load's work meter. Returns the
// message of a refusal, empty when the project was read.
std::string ReadStaged(const std::string& fileName, std::unique_ptr<tcuarto_list>& staged, TProgressBar* gauge)
{
    std::string refusal;
    try {
        MeteredLoad(
            FileBytes(fileName),
            [&] {
                TContentReader content(fileName);
                try {
                    TReader in(content);
                    TShortString<18> header;
                    std::memset(static_cast<void*>(&header), 0, sizeof header);
                    content.Read(&header, HEADER_BYTES);
                    uint8_t version = 0;
                    if (std::memcmp(&header, &StoredHeader(), HEADER_BYTES) != 0) {
                        refusal = PROJECT_BAD_HEADER_MESSAGE;
                    } else {
                        in.Get(version, "the header");
                        if (version < 2) refusal = PROJECT_OLD_VERSION_MESSAGE;
                    }
                    if (refusal.empty()) {
                        staged = std::make_unique<tcuarto_list>();
                        ReadProject(in, *staged, gauge);
                    }
                } catch (const ERefused& e) {
                    refusal = e.message;
                }
                // Damaged compressed data is reported as such, whatever was read from it.
                if (content.DataError()) refusal = ZLIB_DATA_ERROR;
            },
            [] { Refuse("the file asks for more work than its size allows."); });
    } catch (const ERefused& e) {
        refusal = e.message;
    }
    return refusal;
}

}  // namespace

// ---------------------------------------------------------------------------

void SaveProject(const tcuarto_list& project, const std::string& fileName, int backupInterval, int backupMax,
                 int& saveCounter)
{
    CheckSaveable(project);

    bool rotate = false;
    if (backupInterval > 0) {
        rotate = saveCounter == backupInterval;
        ++saveCounter;
        if (saveCounter > backupInterval) saveCounter = 1;
    }

    // The new content goes to a fresh file beside the target, so the final
    // rename stays inside one file system and is atomic.
    const std::string directory = ExtractFilePath(fileName);
    const std::string temporary = directory + RandomFileName(8, directory);
    TProgressBar* gauge = project.progressGauge;

    // The content is compressed on every core while it is written, never
    // held whole.
    TZStreamWriter f(temporary);
    try {
        WriteProject(f, project);
        f.Close();  // checks every write, the flush to disk and the close
    } catch (...) {
        f.Abandon();
        DeleteFile(temporary);
        if (gauge) gauge->SetPosition(0);
        throw;
    }
    if (gauge) gauge->SetPosition(0);

    // The old file is kept as a backup only now that the new one is complete.
    if (rotate) RotateBackups(fileName, fileName, 1, backupMax);
    if (!ReplaceFile(temporary, fileName)) {
        const int error = errno;
        DeleteFile(temporary);
        RaiseInOutError(fileName, error);
    }
    SyncDirectory(fileName);
}

int64_t ProjectMemoryLimit = int64_t(768) << 20;

int LoadProject(tcuarto_list& project, const std::string& fileName)
{
    TProgressBar* gauge = project.progressGauge;
    std::string refusal;
    std::unique_ptr<tcuarto_list> staged;
    try {
        refusal = ReadStaged(fileName, staged, gauge);
        if (refusal.empty()) {
            // Make room before changing anything, so that the switch cannot fail half way.
            project.rooms.reserve(static_cast<std::size_t>(staged->roomCount) + SPARE_ROOM_SLOTS);
            Commit(project, *staged);
            if (gauge) gauge->SetPosition(0);
            return 0;
        }
    } catch (const std::bad_alloc&) {
        // Whatever was read is dropped unread further: a project that does
        // not fit is refused, and the one in memory stays as it was.
        refusal = OUT_OF_MEMORY_MESSAGE;
    }
    if (staged && gauge) gauge->SetPosition(0);
    staged.reset();
    ShowMessage(refusal);
    return 1;
}

void RotateBackups(const std::string& base, const std::string& current, int n, int maximum)
{
    if (!FileExists(base)) return;
    const std::string backup = base + ".BAK" + FormatZeroPadded(n, 2);
    if (FileExists(backup)) {
        if (n == maximum) DeleteFile(backup);
        else RotateBackups(base, backup, n + 1, maximum);
    }
    RenameFile(current, backup);
}

std::string RandomFileName(int length, const std::string& directory)
{
    static constexpr char ALPHABET[] = "_~01234567890ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static_assert(sizeof ALPHABET - 1 == 39);
    if (length <= 0) return std::string();
    std::string name(static_cast<std::size_t>(length), '_');
    do {
        for (char& c : name) c = ALPHABET[Random(39)];
    } while (NameTaken(directory + name));
    return name;
}
