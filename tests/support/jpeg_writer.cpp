#include "support/jpeg_writer.h"

void TJpegBits::Put(uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        acc_ = (acc_ << 1) | ((value >> i) & 1);
        if (++n_ == 8) Flush();
    }
}

std::vector<uint8_t> TJpegBits::Done()
{
    while (n_ != 0) Put(1, 1);
    return out_;
}

void TJpegBits::Flush()
{
    out_.push_back(static_cast<uint8_t>(acc_));
    if (out_.back() == 0xFF) out_.push_back(0);
    acc_ = 0;
    n_ = 0;
}

TJpegFile::TJpegFile(bool progressive, int width, int height, const std::vector<TJpegComponent>& components,
                     int acSymbol)
{
    w_.List({0xFF, 0xD8});
    std::vector<uint8_t> dqt(1 + 64, 1);
    dqt[0] = 0;  // table 0, 8-bit values
    Marker(0xDB, dqt);
    TByteWriter sof;
    sof.U8(8).BE16(static_cast<unsigned>(height)).BE16(static_cast<unsigned>(width));
    sof.U8(static_cast<unsigned>(components.size()));
    for (const auto& c : components) sof.U8(c.id).U8(c.sampling).U8(0);
    Marker(progressive ? 0xC2 : 0xC0, sof.Bytes);
    // For each table its class and number, the counts of codes of each
    // length 1..16, and the symbols.
    std::vector<uint8_t> dht(2 * (1 + 16 + 1), 0);
    dht[0] = 0x00;
    dht[1] = 1;
    dht[18] = 0x10;
    dht[19] = 1;
    dht[35] = static_cast<uint8_t>(acSymbol);
    Marker(0xC4, dht);
}

TJpegFile& TJpegFile::Scan(const std::vector<int>& ids, int ss, int se, int ahal, const std::vector<uint8_t>& data)
{
    TByteWriter sos;
    sos.U8(static_cast<unsigned>(ids.size()));
    for (int id : ids) sos.U8(static_cast<unsigned>(id)).U8(0);
    sos.U8(static_cast<unsigned>(ss)).U8(static_cast<unsigned>(se)).U8(static_cast<unsigned>(ahal));
    Marker(0xDA, sos.Bytes);
    w_.Append(data);
    return *this;
}

std::vector<uint8_t> TJpegFile::Done()
{
    w_.List({0xFF, 0xD9});
    return w_.Bytes;
}

void TJpegFile::Marker(int code, const std::vector<uint8_t>& body)
{
    w_.U8(0xFF).U8(static_cast<unsigned>(code)).BE16(static_cast<unsigned>(body.size() + 2)).Append(body);
}

std::vector<uint8_t> JpegHeaders(uint16_t width, uint16_t height)
{
    TByteWriter j;
    j.List({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00}).Fill(64, 1);
    j.List({0xFF, 0xC0, 0x00, 0x0B, 0x08}).BE16(height).BE16(width).List({0x01, 0x01, 0x11, 0x00});
    // DC, then AC: one code of length 1 (15 more lengths without codes), for the symbol 0.
    for (int table : {0x00, 0x10}) j.List({0xFF, 0xC4, 0x00, 0x14, table, 1}).Fill(15).U8(0);
    j.List({0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    return j.Bytes;
}

std::vector<uint8_t> TinyJpeg() { return TByteWriter().Append(JpegHeaders(8, 1)).List({0x3F, 0xFF, 0xD9}).Bytes; }
