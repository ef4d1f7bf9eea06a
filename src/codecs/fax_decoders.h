// Bilevel data in the one-dimensional CCITT codes (modified Huffman):
// Group 3 rows introduced by end-of-line codes, and plain modified-Huffman
// rows (optionally word-aligned). The output is one bit per pixel, most
// significant bit first, 1 black and 0 white, each row starting on a byte
// boundary. Two-dimensional coding is not decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "codecs/decoders.h"

struct TCodeNode {
    int32_t Zero = 0;   // child for bit 0 (0: none; node 0 is the root)
    int32_t One = 0;    // child for bit 1
    int32_t Value = 0;  // the run length at a leaf; -1 end of line, -2 invalid
};

// One code of the tables: its bits (right-aligned) and their number.
struct TFaxCode {
    uint16_t Code;
    uint8_t Length;
};
// The 64 terminating codes (runs 0..63), the 27 make-up codes (64..1728) and
// the 13 extended make-up codes (1792..2560) of each colour.
extern const TFaxCode WhiteCodes[104];
extern const TFaxCode BlackCodes[104];
// Entry i is i with its bit order reversed.
extern const uint8_t ReverseBitsTable[256];

class TCCITTDecoder : public TDecoder {
public:
    // Where the input goes on once the bytes given run out: sets data and
    // size to its next bytes (which the decoder may change in place), or
    // returns false at its end.
    using TMoreInput = std::function<bool(uint8_t*& data, int32_t& size)>;

    // Options is the file's T4 options value (kept, not consulted);
    // ReverseBits says the input's bytes start with their lowest bit.
    TCCITTDecoder(uint32_t Options, bool ReverseBits, bool WordAligned, uint32_t Width);
    // Decodes as many rows as the data gives into UnpackedSize bytes at Dest
    // (the rest stays white); neither pointer is moved.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    // Sets up the input of one Decode, turning its bits round when asked;
    // the first row starts white. DecodeNext then decodes its first rows.
    void Start(void* Source, int32_t PackedSize);
    // Decodes the rows that follow those of the last Decode or DecodeNext
    // (from the first row after Start), from the rest of that input (which
    // must still be there, its bits already turned), into UnpackedSize bytes
    // at Dest: a strip decoded a few whole rows at a time gives the rows of
    // one Decode.
    void DecodeNext(void* Dest, int32_t UnpackedSize);
    // With MoreInput set, the input of Start goes on with the bytes it
    // gives whenever those at hand run out, as if they followed them: codes,
    // fill and alignment run across the pieces.
    void SetMoreInput(TMoreInput more) { more_ = std::move(more); }
    void Encode(void*, void*, int32_t, int32_t&) override {}

    const std::vector<TCodeNode>& WhiteTree() const { return whiteTree_; }
    const std::vector<TCodeNode>& BlackTree() const { return blackTree_; }
    uint32_t Options() const { return options_; }

protected:
    // Decodes rows until the output is full or the input ends.
    virtual void DecodeRows() = 0;
    // Sets up the output, cleared, with its first row ready.
    void SetOutput(void* Dest, int32_t UnpackedSize);
    bool InputLeft() { return bitsLeft_ > 0 || PackedLeft > 0 || MoreInput(); }
    // A run of white or of black: the sum of its make-up codes and its
    // terminating code (negative for the end-of-line and invalid codes).
    int32_t ReadWhiteRun();
    int32_t ReadBlackRun();
    // The next input bit (0 when the input is used up).
    int ReadBit();
    // Writes a run of the current colour, cut at the end of the row;
    // returns whether the row is complete.
    bool FillRun(uint32_t length);
    // Moves the output to the start of the next row (whatever the last row
    // left of its bytes) and makes the row whole again.
    void NextRow();
    // Drops the rest of the current input byte (and with WordAligned one
    // more byte when the next one lies at an odd offset).
    void AlignInput();
    bool OutputFull() const { return rowStart_ >= outSize_; }

    bool IsWhite = true;
    int EOLCount = 0;  // end-of-line codes just read (Group 3: the next row needs no search)
    bool ReverseBits;
    bool WordAligned;
    uint32_t Width;

private:
    static void InsertCode(std::vector<TCodeNode>& tree, uint32_t code, int length, int32_t value);
    static void BuildTree(std::vector<TCodeNode>& tree, const TFaxCode* codes);
    // The white tree from WhiteCodes, the black tree from BlackCodes.
    void BuildCodeTrees();
    int32_t ReadRun(const std::vector<TCodeNode>& tree);
    // Takes the input's next bytes when those at hand are used up; false at
    // its end.
    bool MoreInput();
    // Loads the next input byte into current_; false at the input's end.
    bool LoadByte();

    uint32_t options_;
    std::vector<TCodeNode> whiteTree_, blackTree_;
    // Input state.
    TMoreInput more_;
    const uint8_t* input_ = nullptr;
    int64_t packedBefore_ = 0;  // input bytes of the pieces before the one at hand
    int32_t packedSize_ = 0;    // of the piece at hand
    int32_t PackedLeft = 0;     // input bytes not loaded yet
    uint8_t bitsLeft_ = 0;
    uint8_t mask_ = 0x80;
    uint8_t current_ = 0;
    // Output state.
    uint8_t* output_ = nullptr;
    size_t outSize_ = 0;
    size_t rowStart_ = 0;
    size_t out_ = 0;
    uint8_t FreeBits = 8;  // unused bits of the current output byte (8: a fresh byte)
    uint32_t RowLeft = 0;  // pixels still missing in the current row
};

// Group 3, one-dimensional: each row follows an end-of-line code. An
// invalid code ends its row early.
class TCCITTFax3Decoder : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;

protected:
    void DecodeRows() override;

private:
    // Finds the row's end-of-line code unless the last row ended on one
    // (EOLCount above 0, its final 1 bit read with it); clears EOLCount.
    void SeekRowStart();
    // The next row starts at the next output row, white.
    void StartRowFax3();
};

// Modified-Huffman rows without end-of-line codes, each starting on an input
// byte (a 16-bit word when word-aligned). Invalid codes are skipped.
class TCCITTMHDecoder : public TCCITTDecoder {
public:
    using TCCITTDecoder::TCCITTDecoder;

protected:
    void DecodeRows() override;

private:
    // The next row starts at the next output row and on a fresh input byte
    // (or word), white once the colour flips.
    void StartRowMH();
};
