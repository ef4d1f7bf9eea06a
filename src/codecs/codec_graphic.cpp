#include "codecs/codec_graphic.h"

#include "platform/rtl/classes.h"

TCodecGraphic::TCodecGraphic() = default;
TCodecGraphic::~TCodecGraphic() = default;

void TCodecGraphic::Assign(const TGraphic& source)
{
    if (const auto* codec = dynamic_cast<const TCodecGraphic*>(&source)) ImageProperties = codec->ImageProperties;
    TBitmap::Assign(source);
}

bool TCodecGraphic::CanLoad(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    return CanLoad(stream);
}

bool TCodecGraphic::CanLoad(TStream&) { return false; }

bool TCodecGraphic::ReadImageProperties(TStream&, unsigned /*ImageIndex*/)
{
    ImageProperties = TImageProperties{};
    ImageProperties.FileGamma = 1.0f;
    SampleBufferBytes = 0;
    return false;
}

void CodecError(const std::string& message) { throw EInvalidGraphic(message); }

void CodecError(const std::string& message, std::initializer_list<std::string> args)
{
    throw EInvalidGraphic(FormatStr(message, args));
}

void CodecError(uint16_t messageId, std::initializer_list<std::string> args)
{
    throw EInvalidGraphic(FormatStr(messageId, args));
}

void SwapShort(uint16_t* values, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) values[i] = static_cast<uint16_t>((values[i] >> 8) | (values[i] << 8));
}

uint32_t SwapLong(uint32_t v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

void SwapLong(uint32_t* values, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) values[i] = SwapLong(values[i]);
}

namespace {
void Depredict(uint8_t* row, uint32_t bytes, uint32_t distance)
{
    for (uint32_t i = 0; i < bytes; ++i) row[i + distance] = static_cast<uint8_t>(row[i + distance] + row[i]);
}
}  // namespace

void Depredict1(uint8_t* row, uint32_t count) { Depredict(row, count, 1); }
void Depredict3(uint8_t* row, uint32_t count) { Depredict(row, count * 3, 3); }
void Depredict4(uint8_t* row, uint32_t count) { Depredict(row, count * 4, 4); }
