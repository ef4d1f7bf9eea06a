#include "codecs/pcd_decoder.h"

#include <optional>
#include <vector>

#include "codecs/color_manager.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"

namespace {

constexpr uint32_t kSyncPattern = 0xFFFFFE;  // twenty-three 1 bits, then a 0
// The work of each byte read: its bits are taken one code or one shift at a time.
constexpr uint64_t kBitWork = 32;

// The bit reader: the next bits of the stream at the top of a 32-bit
// accumulator, refilled a byte at a time from blocks of 2048 bytes.
class TBitReader {
public:
    explicit TBitReader(TStream& stream) : stream_(stream), buffer_(2048) {}

    uint32_t Bits() const { return sum_; }

    void ShiftBits(int n)
    {
        sum_ <<= n;
        count_ -= n;
        while (count_ <= 24) {
            if (index_ >= buffer_.size()) {
                // Each bit of a block is taken on its own at most a few times.
                ChargeWork(kBitWork * buffer_.size());
                stream_.ReadBuffer(buffer_.data(), static_cast<int64_t>(buffer_.size()));
                index_ = 0;
            }
            sum_ |= uint32_t(buffer_[index_++]) << (24 - count_);
            count_ += 8;
        }
    }

    bool AtSync() const { return (sum_ >> 8) == kSyncPattern; }

    // Moves on to the next sync pattern.
    void Synchronise()
    {
        while ((sum_ & 0x00FFF000) != 0x00FFF000) ShiftBits(8);
        while (!AtSync()) ShiftBits(1);
    }

private:
    TStream& stream_;
    std::vector<uint8_t> buffer_;
    size_t index_ = 2048;  // empty
    uint32_t sum_ = 0;
    int count_ = 32;
};

// Reads a code table: a count less one, then for each entry its length less
// one, 16 bits of code and the key. False when a code is longer than 16 bits.
bool ReadTable(TBitReader& bits, std::vector<TPCDTableEntry>& table)
{
    bits.ShiftBits(8);
    table.resize((bits.Bits() & 0xFF) + 1);
    for (TPCDTableEntry& e : table) {
        bits.ShiftBits(8);
        const unsigned length = (bits.Bits() & 0xFF) + 1;
        if (length > 16) return false;
        e.Length = static_cast<uint8_t>(length);
        bits.ShiftBits(16);
        e.Code = (bits.Bits() & 0xFFFF) << 16;
        bits.ShiftBits(8);
        e.Key = static_cast<uint8_t>(bits.Bits() & 0xFF);
        e.Mask = ~0u << (32 - e.Length);
    }
    return true;
}

// The entry a code takes is the first of its table whose bits lead the
// accumulator, and codes have at most 16 bits: the first match for each
// value of the top 16 bits is found once and kept, so that a table of 256
// entries is not searched again for every code.
class TCodeFinder {
public:
    explicit TCodeFinder(const std::vector<TPCDTableEntry>& table) : table_(table), first_(size_t(1) << 16, kNotSought)
    {
    }

    // The entry the code at the top of the accumulator takes, or null.
    const TPCDTableEntry* Find(uint32_t bits)
    {
        int16_t& match = first_[bits >> 16];
        if (match == kNotSought) {
            ChargeWork(table_.size());
            match = kNone;
            for (size_t i = 0; i < table_.size(); ++i) {
                if ((bits & table_[i].Mask) == table_[i].Code) {
                    match = static_cast<int16_t>(i);
                    break;
                }
            }
        }
        return match == kNone ? nullptr : &table_[static_cast<size_t>(match)];
    }

private:
    static constexpr int16_t kNotSought = -2, kNone = -1;
    const std::vector<TPCDTableEntry>& table_;
    std::vector<int16_t> first_;
};

}  // namespace

TPCDDecoder::TPCDDecoder(TStream& stream) : stream_(&stream) {}

void TPCDDecoder::Decode(void*& Source, void*&, int32_t PackedSize, int32_t UnpackedSize)
{
    if (PackedSize <= 0 || UnpackedSize < 0) return;
    uint8_t* const* planes = static_cast<uint8_t* const*>(Source);
    const uint32_t width = static_cast<uint32_t>(PackedSize);
    const uint32_t lumaRows = static_cast<uint32_t>(UnpackedSize);
    const uint32_t chromaRows = (lumaRows + 1) / 2;
    TBitReader bits(*stream_);

    const int tableCount = width <= 1536 ? 1 : 3;
    std::vector<TPCDTableEntry> tables[3];
    for (int t = 0; t < tableCount; ++t)
        if (!ReadTable(bits, tables[t])) return;
    bits.ShiftBits(16);
    bits.ShiftBits(16);
    bits.Synchronise();

    std::optional<TCodeFinder> finders[3];
    TCodeFinder* finder = nullptr;
    uint8_t* dest = nullptr;     // the next sample to correct
    uint8_t* destEnd = nullptr;  // the end of its row (dest == destEnd: no writes)
    for (;;) {
        while (!bits.AtSync()) {
            const TPCDTableEntry* found = finder ? finder->Find(bits.Bits()) : nullptr;
            if (!found) {
                bits.Synchronise();
                continue;
            }
            if (dest < destEnd) {
                *dest = ClampByte(*dest + static_cast<int8_t>(found->Key));
                ++dest;
            }
            bits.ShiftBits(found->Length);
        }
        bits.ShiftBits(16);
        const uint32_t row = (bits.Bits() >> 9) & 0x1FFF;
        if (row == lumaRows) return;
        bits.ShiftBits(8);
        const uint32_t plane = bits.Bits() >> 30;
        bits.ShiftBits(16);
        // Plane codes 0, 2 and 3: the luma plane and the two chroma planes
        // (of half the rows, each with its own table when there are three).
        if (plane == 1) return;  // no pack uses plane code 1
        const uint32_t k = plane == 0 ? 0 : plane - 1;
        if (tableCount > int(k) && !finders[k]) finders[k].emplace(tables[k]);
        finder = finders[k] ? &*finders[k] : nullptr;
        const uint32_t planeRow = k == 0 ? row : row / 2, rows = k == 0 ? lumaRows : chromaRows;
        dest = planeRow < rows ? planes[k] + size_t(planeRow) * width : nullptr;
        destEnd = dest ? dest + width : nullptr;
    }
}
