#include "codecs/deflate_decoder.h"

#include "codecs/codec_messages.h"

TLZ77Decoder::TLZ77Decoder(int32_t FlushMode, bool AutoReset, bool CheckValue)
    : flushMode_(FlushMode), autoReset_(AutoReset), checkValue_(CheckValue)
{
}

TLZ77Decoder::~TLZ77Decoder()
{
    if (open_) inflateEnd(&stream_);
}

void TLZ77Decoder::DecodeInit()
{
    // A stream already open starts afresh in the state and window it has:
    // readers start one for every strip, however small.
    if (open_ && inflateReset(&stream_) == Z_OK) {
        status_ = Z_OK;
        return;
    }
    if (open_) inflateEnd(&stream_);
    stream_ = z_stream{};
    status_ = inflateInit2(&stream_, 15);
    if (status_ < 0) CompressionError(LoadStr(gesLZ77Error));
    open_ = true;
    // A reset keeps this.
    if (!checkValue_) inflateValidate(&stream_, 0);
}

void TLZ77Decoder::DecodeEnd()
{
    if (!open_) return;
    open_ = false;
    if (inflateEnd(&stream_) < 0) CompressionError(LoadStr(gesLZ77Error));
}

void TLZ77Decoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    if (!open_) return;
    stream_.next_in = static_cast<Bytef*>(Source);
    stream_.avail_in = PackedSize > 0 ? static_cast<uInt>(PackedSize) : 0;
    if (autoReset_) status_ = inflateReset(&stream_);
    if (status_ != Z_OK) return;
    stream_.next_out = static_cast<Bytef*>(Dest);
    stream_.avail_out = UnpackedSize > 0 ? static_cast<uInt>(UnpackedSize) : 0;
    status_ = inflate(&stream_, flushMode_);
    Source = stream_.next_in;
    Dest = stream_.next_out;
}
