// Pictures whose counts, offsets and sizes claim far more than their data: the work and the sample buffers a load
// takes follow the data that is there (the bytes read, the buffer bytes reported), and the picture comes out as its
// data says.
#include "codecs/decoders.h"
#include "picture_files.h"

TEST(HostilePictures, RunLengthDecodersStopWhenTheOutputIsFull)
{
    TPSPRLEDecoder psp;
    TRLADecoder rla;
    const struct {
        const char* name;
        TDecoder& decoder;
        Bytes input;
        int32_t unpacked;
        Bytes expected;
        int32_t left;  // input bytes not consumed
    } cases[] = {
        {"Paint Shop Pro runs", psp, {0x82, 5, 0x82, 6, 0x01, 7}, 2, {5, 5}, 4},
        {"Paint Shop Pro literal", psp, {0x02, 1, 2, 0x81, 9}, 2, {1, 2}, 2},
        {"Paint Shop Pro input ends first", psp, {0x10, 1, 2}, 9, {1, 2, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"Paint Shop Pro nothing wanted", psp, {0x81, 9}, 0, {}, 2},
        {"RLA runs", rla, {0x01, 7, 0x01, 8}, 2, {7, 7}, 2},
        {"RLA literal", rla, {0xFE, 1, 2, 0x00, 3}, 2, {1, 2}, 2},
        {"RLA input ends first", rla, {0x00, 4}, 3, {4, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes input = c.input, out(c.expected.size() + 1, 0);  // one byte more, which stays untouched
        void* source = input.data();
        void* dest = out.data();
        c.decoder.Decode(source, dest, int32_t(input.size()), c.unpacked);
        EXPECT_EQ(out, Join({c.expected, {0}}));
        const int32_t left = &c.decoder == &psp ? psp.AvailableInput() : rla.AvailableInput();
        EXPECT_EQ(left, c.left);
    }
}
