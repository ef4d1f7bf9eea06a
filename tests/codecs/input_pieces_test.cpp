// Decoders that take their input as they need it: a stream handed over in
// pieces of any size, the pieces cutting packets, codes, fill and rows
// anywhere, decodes to the bytes of the stream handed over at once.
#include <functional>

#include "codecs/decoders.h"
#include "codecs/fax_decoders.h"
#include "codecs/thunder_decoder.h"
#include "picture_files.h"

namespace {

using TMore = std::function<bool(uint8_t*&, int32_t&)>;

// Hands the input over `piece` bytes at a time, each piece in a buffer of its
// own that the next one replaces; counts the bytes handed over.
struct TPieces {
    Bytes input;
    size_t piece;
    size_t given = 0;
    Bytes buffer = {};

    bool Next(uint8_t*& data, int32_t& size)
    {
        if (given >= input.size()) return false;
        const size_t n = std::min(piece, input.size() - given);
        buffer.assign(input.begin() + long(given), input.begin() + long(given + n));
        given += n;
        data = buffer.data();
        size = int32_t(n);
        return true;
    }
    TMore More()
    {
        return [this](uint8_t*& data, int32_t& size) { return Next(data, size); };
    }
};

// A decoder that takes its input in pieces, made afresh for each decoding.
struct TPiecewise {
    const char* name;
    std::function<std::unique_ptr<TDecoder>()> make;
    std::function<void(TDecoder&, TMore)> setMore;
    Bytes input;
    size_t outputBytes;
};

// Decodes with the input given at once, or with none given and every byte
// taken in pieces: the output and how many input bytes were taken.
Bytes DecodeWhole(const TPiecewise& c)
{
    const auto d = c.make();
    Bytes out(c.outputBytes + 8, kUnwritten), input = c.input;
    void* source = input.data();
    void* dest = out.data();
    if (auto* fax = dynamic_cast<TCCITTDecoder*>(d.get())) fax->Start(source, int32_t(input.size()));
    if (auto* fax = dynamic_cast<TCCITTDecoder*>(d.get())) fax->DecodeNext(dest, int32_t(c.outputBytes));
    else d->Decode(source, dest, int32_t(input.size()), int32_t(c.outputBytes));
    return out;
}

Bytes DecodePieces(const TPiecewise& c, size_t piece, size_t* taken)
{
    const auto d = c.make();
    TPieces pieces{c.input, piece};
    c.setMore(*d, pieces.More());
    Bytes out(c.outputBytes + 8, kUnwritten);
    void* source = nullptr;
    void* dest = out.data();
    if (auto* fax = dynamic_cast<TCCITTDecoder*>(d.get())) fax->Start(nullptr, 0);
    if (auto* fax = dynamic_cast<TCCITTDecoder*>(d.get())) fax->DecodeNext(dest, int32_t(c.outputBytes));
    else d->Decode(source, dest, 0, int32_t(c.outputBytes));
    *taken = pieces.given;
    return out;
}

TEST(InputPieces, DecodeAsTheWholeInputDoes)
{
    const Bytes packBits = {0xFC, 7, 0x03, 1, 2, 3, 4, 0x80, 0x80, 0xFE, 9, 0x80, 0x01, 5, 6, 0x81, 3, 0x02, 8, 9};
    TFaxBits group3, huffman;
    for (int y = 0; y < 6; ++y) {
        group3.Put(0, 3 + y).Eol().Run(true, 3 + y).Run(false, 70 - y).Run(true, 27);  // fill before each code
        huffman.Run(true, 2 * y).Run(false, 100 - 2 * y).Align().Put(0, 8 * (y % 2));  // word-aligned rows
    }
    const Bytes noOps = Join({Bytes(7, 0x80),
                              {0xFE, 1},
                              Bytes(8, 0x80),
                              {0x01, 2, 3},
                              Bytes(17, 0x80),
                              {0x00, 4},
                              Bytes(33, 0x80),
                              {0xFE, 5},
                              Bytes(9, 0x80)});
    const Bytes thunder = {0xC3, 0x3F, 0xC1, 0x45, 0xC9, 0x9A, 0x02, 0xC5, 0x3F, 0xC1, 0x45, 0x8B};
    auto packBitsMore = [](TDecoder& d, TMore more) {
        static_cast<TPackbitsRLEDecoder&>(d).SetMoreInput(std::move(more));
    };
    auto faxMore = [](TDecoder& d, TMore more) { static_cast<TCCITTDecoder&>(d).SetMoreInput(std::move(more)); };
    const TPiecewise cases[] = {
        {"PackBits: runs, literals and no-operation bytes", [] { return std::make_unique<TPackbitsRLEDecoder>(true); },
         packBitsMore, packBits, 19},
        {"PackBits: long rows of no-operation bytes", [] { return std::make_unique<TPackbitsRLEDecoder>(true); },
         packBitsMore, noOps, 9},
        {"Group 3 rows after fill bits", [] { return std::make_unique<TCCITTFax3Decoder>(0, false, false, 100); },
         faxMore, group3.bytes, 6 * 13},
        {"Group 3, bits reversed", [] { return std::make_unique<TCCITTFax3Decoder>(0, true, false, 100); }, faxMore,
         [&] {
             Bytes b = group3.bytes;
             for (uint8_t& v : b) v = ReverseBitsTable[v];
             return b;
         }(),
         6 * 13},
        {"word-aligned modified Huffman", [] { return std::make_unique<TCCITTMHDecoder>(0, false, true, 100); },
         faxMore, huffman.bytes, 6 * 13},
        {"ThunderScan rows", [] { return std::make_unique<TThunderDecoder>(4, 7); },
         [](TDecoder& d, TMore more) { static_cast<TThunderDecoder&>(d).SetMoreInput(std::move(more)); }, thunder, 12},
    };
    for (const TPiecewise& c : cases) {
        const Bytes whole = DecodeWhole(c);
        EXPECT_NE(Head(whole, c.outputBytes), Bytes(c.outputBytes, 0)) << c.name;
        for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(5), c.input.size()}) {
            size_t taken = 0;
            EXPECT_EQ(DecodePieces(c, piece, &taken), whole) << c.name << ", pieces of " << piece;
        }
    }
}

TEST(InputPieces, DecodersTakeNoMoreOnceTheirOutputIsFull)
{
    // Four bytes wanted: the stream after their packets, however long, is
    // not asked for.
    const Bytes packBits = Join({{0xFF, 7, 0x01, 1, 2}, Bytes(1000, 0x80)});
    TPiecewise c{"PackBits", [] { return std::make_unique<TPackbitsRLEDecoder>(true); },
                 [](TDecoder& d, TMore more) { static_cast<TPackbitsRLEDecoder&>(d).SetMoreInput(std::move(more)); },
                 packBits, 4};
    size_t taken = 0;
    EXPECT_EQ(Head(DecodePieces(c, 2, &taken), 4), (Bytes{7, 7, 1, 2}));
    EXPECT_EQ(taken, 6u);
}

TEST(InputPieces, PackBitsRunByteInTheNextPiece)
{
    // A run's count ends one piece and its byte starts the next: the run is
    // whole, as is the packet after it.
    TPackbitsRLEDecoder d(true);
    TPieces pieces{{0x01, 4, 5, 0xFD, 9, 0x00, 6}, 4};
    d.SetMoreInput(pieces.More());
    EXPECT_EQ(Unpack(d, {}, 0, 7, 7), (Bytes{4, 5, 9, 9, 9, 9, 6}));
}

}  // namespace
