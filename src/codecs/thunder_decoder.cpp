#include "codecs/thunder_decoder.h"

#include <algorithm>

namespace {
const int kTwoBitDeltas[4] = {0, 1, 0, -1};                  // code 2: no pixel
const int kThreeBitDeltas[8] = {0, 1, 2, 3, 0, -3, -2, -1};  // code 4: no pixel

// The row being decoded: its bytes within the output, the pixels written so
// far and the last pixel.
struct TThunderRow {
    uint8_t* bytes;
    int64_t size;
    int64_t pixels = 0;
    unsigned last = 0;

    // Writes the low nibble of v as the next pixel; pixel i sits in byte
    // i / 2, the even ones in the high nibble.
    void PutNibble(unsigned v)
    {
        last = v & 15;
        const int64_t at = pixels / 2;
        if (at < size) {
            if (pixels & 1) bytes[at] = static_cast<uint8_t>((bytes[at] & 0xF0) | last);
            else bytes[at] = static_cast<uint8_t>(last << 4);
        }
        ++pixels;
    }
};
}  // namespace

void TThunderDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    if (RowSize <= 0) return;
    auto* in = static_cast<uint8_t*>(Source);
    const uint8_t* inEnd = in + (PackedSize > 0 ? PackedSize : 0);
    // Whether input is there, once the next bytes are asked for.
    auto input = [&] {
        uint8_t* next = nullptr;
        int32_t size = 0;
        if (in < inEnd || !more_ || !more_(next, size) || size <= 0) return in < inEnd;
        in = next;
        inEnd = next + size;
        return true;
    };
    auto* const dest = static_cast<uint8_t*>(Dest);
    const int64_t total = UnpackedSize > 0 ? UnpackedSize : 0;
    const int64_t rowPixels = std::min<int64_t>(int64_t(RowSize) * 2, Width > 0 ? Width : 0);

    for (int64_t rowStart = 0; rowStart < total; rowStart += RowSize) {
        // Bytes of this row that lie within the output.
        TThunderRow row{dest + rowStart, total - rowStart < RowSize ? total - rowStart : RowSize};
        while (row.pixels < rowPixels && input()) {
            const unsigned n = *in++;
            switch (n >> 6) {
            case 0: {  // a run of the last pixel
                int64_t count = n & 63;
                for (; count > 0 && row.pixels < rowPixels; --count) row.PutNibble(row.last);
                break;
            }
            case 1:
                for (int shift = 4; shift >= 0; shift -= 2) {
                    const unsigned code = (n >> shift) & 3;
                    if (code != 2)
                        row.PutNibble(static_cast<unsigned>(static_cast<int>(row.last) + kTwoBitDeltas[code]));
                }
                break;
            case 2:
                for (int shift = 3; shift >= 0; shift -= 3) {
                    const unsigned code = (n >> shift) & 7;
                    if (code != 4)
                        row.PutNibble(static_cast<unsigned>(static_cast<int>(row.last) + kThreeBitDeltas[code]));
                }
                break;
            default: row.PutNibble(n); break;
            }
        }
    }
    Source = in;
}
