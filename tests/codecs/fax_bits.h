// Modified-Huffman code streams written bit by bit, for the fax decoder and
// the TIFF reader suites.
#pragma once

#include <cstdint>
#include <vector>

#include "codecs/fax_decoders.h"

// Bits written most significant first.
struct TFaxBits {
    std::vector<uint8_t> bytes;
    int used = 8;
    void Put(uint32_t code, int length)
    {
        for (int b = length - 1; b >= 0; --b) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            if ((code >> b) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> used);
            ++used;
        }
    }
    void Code(bool white, int index)
    {
        const TFaxCode& code = (white ? WhiteCodes : BlackCodes)[index];
        Put(code.Code, code.Length);
    }
    // A run: make-up codes, then the terminating code.
    void Run(bool white, int length)
    {
        while (length >= 2560) {
            Code(white, 103);
            length -= 2560;
        }
        if (length >= 64) {
            Code(white, 63 + length / 64);
            length %= 64;
        }
        Code(white, length);
    }
    void Eol() { Put(1, 12); }
    // The next code starts on a fresh byte.
    void Align() { used = 8; }
};
