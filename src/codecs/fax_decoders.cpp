#include "codecs/fax_decoders.h"

#include <algorithm>
#include <cstring>

// The code tables of ITU-T T.4: terminating codes, make-up codes, and the
// extended make-up codes that both colours share.
// Eight codes a row, as the tables are printed.
// clang-format off
const TFaxCode WhiteCodes[104] = {
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8},
    // make-up 64..1728
    {0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8}, {0x64, 8}, {0x65, 8},
    {0x68, 8}, {0x67, 8}, {0xCC, 9}, {0xCD, 9}, {0xD2, 9}, {0xD3, 9}, {0xD4, 9}, {0xD5, 9},
    {0xD6, 9}, {0xD7, 9}, {0xD8, 9}, {0xD9, 9}, {0xDA, 9}, {0xDB, 9}, {0x98, 9}, {0x99, 9},
    {0x9A, 9}, {0x18, 6}, {0x9B, 9},
    // extended make-up 1792..2560
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
    {0x16, 12}, {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
};

const TFaxCode BlackCodes[104] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},  {0x03, 5},
    {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},  {0x07, 8},  {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12},
    // make-up 64..1728
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12}, {0x6C, 13},
    {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13}, {0x73, 13}, {0x74, 13},
    {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13}, {0x54, 13}, {0x55, 13}, {0x5A, 13},
    {0x5B, 13}, {0x64, 13}, {0x65, 13},
    // extended make-up 1792..2560
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
    {0x16, 12}, {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
};
// clang-format on

namespace {
struct TReverseTable {
    uint8_t table[256];
    constexpr TReverseTable() : table{}
    {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b)) r |= 0x80 >> b;
            table[i] = static_cast<uint8_t>(r);
        }
    }
};
constexpr TReverseTable kReverse;
// A run never grows past this, whatever the make-up codes add up to.
constexpr int64_t kRunLimit = int64_t(1) << 30;
}  // namespace

const uint8_t ReverseBitsTable[256] = {
#define R(i) kReverse.table[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

TCCITTDecoder::TCCITTDecoder(uint32_t Options, bool ReverseBits, bool WordAligned, uint32_t Width)
    : ReverseBits(ReverseBits), WordAligned(WordAligned), Width(Width), options_(Options)
{
    BuildCodeTrees();
}

void TCCITTDecoder::InsertCode(std::vector<TCodeNode>& tree, uint32_t code, int length, int32_t value)
{
    size_t node = 0;
    for (int bit = length - 1; bit >= 0; --bit) {
        const bool one = (code >> bit) & 1;
        int32_t child = one ? tree[node].One : tree[node].Zero;
        if (child == 0) {
            tree.push_back(TCodeNode{});
            child = static_cast<int32_t>(tree.size() - 1);
            if (one) tree[node].One = child;
            else tree[node].Zero = child;
        }
        node = static_cast<size_t>(child);
    }
    tree[node].Value = value;
}

void TCCITTDecoder::BuildTree(std::vector<TCodeNode>& tree, const TFaxCode* codes)
{
    tree.assign(1, TCodeNode{});
    for (int i = 0; i < 64; ++i) InsertCode(tree, codes[i].Code, codes[i].Length, i);
    for (int i = 64; i < 104; ++i) InsertCode(tree, codes[i].Code, codes[i].Length, (i - 63) * 64);
    InsertCode(tree, 1, 12, -1);
    for (int length : {9, 10, 11}) InsertCode(tree, 1, length, -2);
    InsertCode(tree, 0, 12, -2);
}

void TCCITTDecoder::BuildCodeTrees()
{
    BuildTree(whiteTree_, WhiteCodes);
    BuildTree(blackTree_, BlackCodes);
}

void TCCITTDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    Start(Source, PackedSize);
    SetOutput(Dest, UnpackedSize);
    DecodeRows();
}

void TCCITTDecoder::DecodeNext(void* Dest, int32_t UnpackedSize)
{
    SetOutput(Dest, UnpackedSize);
    DecodeRows();
}

void TCCITTDecoder::Start(void* Source, int32_t PackedSize)
{
    packedSize_ = PackedSize > 0 ? PackedSize : 0;
    auto* in = static_cast<uint8_t*>(Source);
    if (ReverseBits)
        for (int32_t i = 0; i < packedSize_; ++i) in[i] = ReverseBitsTable[in[i]];
    input_ = in;
    packedBefore_ = 0;
    PackedLeft = packedSize_;
    bitsLeft_ = 0;
    mask_ = 0x80;
    IsWhite = true;
    EOLCount = 0;
}

void TCCITTDecoder::SetOutput(void* Dest, int32_t UnpackedSize)
{
    output_ = static_cast<uint8_t*>(Dest);
    outSize_ = UnpackedSize > 0 ? static_cast<size_t>(UnpackedSize) : 0;
    if (outSize_) std::memset(output_, 0, outSize_);
    rowStart_ = out_ = 0;
    FreeBits = 8;
    RowLeft = Width;
}

bool TCCITTDecoder::MoreInput()
{
    uint8_t* in = nullptr;
    int32_t size = 0;
    if (PackedLeft > 0 || !more_ || !more_(in, size) || size <= 0) return PackedLeft > 0;
    if (ReverseBits)
        for (int32_t i = 0; i < size; ++i) in[i] = ReverseBitsTable[in[i]];
    packedBefore_ += packedSize_;
    packedSize_ = size;
    input_ = in;
    PackedLeft = size;
    return true;
}

bool TCCITTDecoder::LoadByte()
{
    if (PackedLeft == 0 && !MoreInput()) return false;
    current_ = *input_++;
    --PackedLeft;
    mask_ = 0x80;
    bitsLeft_ = 8;
    return true;
}

int TCCITTDecoder::ReadBit()
{
    if (bitsLeft_ == 0 && !LoadByte()) return 0;
    const int bit = (current_ & mask_) != 0;
    mask_ >>= 1;
    --bitsLeft_;
    return bit;
}

int32_t TCCITTDecoder::ReadWhiteRun() { return ReadRun(whiteTree_); }

int32_t TCCITTDecoder::ReadBlackRun() { return ReadRun(blackTree_); }

int32_t TCCITTDecoder::ReadRun(const std::vector<TCodeNode>& tree)
{
    int64_t sum = 0;
    size_t node = 0;
    for (;;) {
        if (bitsLeft_ == 0 && !LoadByte()) {
            // The input ends right after a complete code: it still counts.
            if (node != 0 && tree[node].Zero == 0 && tree[node].One == 0)
                sum = std::min(sum + tree[node].Value, kRunLimit);
            break;
        }
        const bool one = (current_ & mask_) != 0;
        int32_t next = one ? tree[node].One : tree[node].Zero;
        if (next == 0) {
            const int32_t value = tree[node].Value;
            sum = std::min(sum + value, kRunLimit);
            // A terminating code (or an end-of-line or invalid code) ends the
            // run; the bit that did not fit stays for the next code.
            if (value < 64) break;
            next = one ? tree[0].One : tree[0].Zero;
        }
        mask_ >>= 1;
        --bitsLeft_;
        node = static_cast<size_t>(next);
    }
    return static_cast<int32_t>(sum);
}

bool TCCITTDecoder::FillRun(uint32_t length)
{
    const bool black = !IsWhite;
    uint32_t rest = std::min(length, RowLeft);
    RowLeft -= rest;
    const uint32_t k = std::min<uint32_t>(rest, FreeBits);
    if (k >= 1 && k <= 7) {
        FreeBits = static_cast<uint8_t>(FreeBits - k);
        if (black && out_ < outSize_) output_[out_] |= static_cast<uint8_t>(((1u << k) - 1) << FreeBits);
        if (FreeBits == 0) {
            ++out_;
            FreeBits = 8;
        }
        rest -= k;
    }
    const size_t bytes = rest / 8;
    if (bytes) {
        if (black && out_ < outSize_) std::memset(output_ + out_, 0xFF, std::min(bytes, outSize_ - out_));
        out_ += bytes;
    }
    rest %= 8;
    if (rest) {
        FreeBits = static_cast<uint8_t>(8 - rest);
        if (black && out_ < outSize_) output_[out_] = static_cast<uint8_t>(((1u << rest) - 1) << FreeBits);
    }
    return RowLeft == 0;
}

void TCCITTDecoder::NextRow()
{
    rowStart_ += (static_cast<size_t>(Width) + 7) / 8;
    if (Width == 0) rowStart_ = outSize_;  // rows of nothing: nothing to fill
    out_ = rowStart_;
    FreeBits = 8;
    RowLeft = Width;
}

void TCCITTDecoder::AlignInput()
{
    // A byte loaded but not read yet (the last code ended on a byte
    // boundary) is where the next row starts; a partly read one is dropped.
    const bool fresh = bitsLeft_ == 8;
    if (!fresh) bitsLeft_ = 0;
    const int64_t start = packedBefore_ + packedSize_ - PackedLeft - (fresh ? 1 : 0);
    if (WordAligned && (start & 1)) {
        if (fresh) {
            bitsLeft_ = 0;
        } else if (PackedLeft > 0 || MoreInput()) {
            ++input_;
            --PackedLeft;
        }
    }
}

void TCCITTFax3Decoder::DecodeRows()
{
    while (InputLeft() && !OutputFull()) {
        SeekRowStart();
        IsWhite = true;
        while (InputLeft()) {
            const int32_t run = IsWhite ? ReadWhiteRun() : ReadBlackRun();
            if (run >= 0) {
                if (FillRun(static_cast<uint32_t>(run))) break;
                IsWhite = !IsWhite;
            } else {
                if (run == -1) ++EOLCount;
                break;
            }
        }
        StartRowFax3();
    }
}

void TCCITTFax3Decoder::SeekRowStart()
{
    if (EOLCount == 0) {
        int zeros = 0;
        while (zeros < 11 && InputLeft()) zeros = ReadBit() ? 0 : zeros + 1;
        while (InputLeft() && ReadBit() == 0) {}
    }
    EOLCount = 0;
}

void TCCITTFax3Decoder::StartRowFax3()
{
    IsWhite = false;
    NextRow();
}

void TCCITTMHDecoder::DecodeRows()
{
    while (InputLeft() && !OutputFull()) {
        const int32_t run = IsWhite ? ReadWhiteRun() : ReadBlackRun();
        if (run > 0 && FillRun(static_cast<uint32_t>(run))) StartRowMH();
        IsWhite = !IsWhite;
    }
}

void TCCITTMHDecoder::StartRowMH()
{
    IsWhite = false;
    NextRow();
    AlignInput();
}
