#include "codecs/codec_messages.h"

#include <algorithm>
#include <iterator>

namespace {

struct TEntry {
    uint16_t id;
    const char* text;
};

constexpr TEntry kTable[] = {
    {65200, "Improper JPEG strip/tile size."},
    {65201, "Improper JPEG component count."},
    {65202, "Improper JPEG data precision."},
    {65203, "Improper JPEG sampling factors."},
    {65204, "Bogus JPEG tables field."},
    {65205, "Fractional JPEG scanline unsupported."},
    {65206, "Warning"},
    {65216, "Stream read error in %s file."},
    {65217, "Cannot load image. %s not supported for %s files."},
    {65218, "Cannot load image. CRC error found in %s file."},
    {65219, "Cannot load image. Compression error found in %s file."},
    {65220, "Cannot load image. Extra compressed data found in %s file."},
    {65221, "Cannot load image. Palette in %s file is invalid."},
    {65222, "Cannot load PNG image. Unexpected but critical chunk detected."},
    {65223, "The compression scheme is"},
    {65224, "Conversion between indexed and non-indexed pixel formats is not supported."},
    {65225, "Color conversion failed. Could not find a proper method."},
    {65226, "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16."},
    {65227, "Sample count per pixel does not correspond to the given color scheme."},
    {65228, "Subsampling value is invalid. Allowed are 1, 2 and 4."},
    {65229, "Vertical subsampling value must be <= horizontal subsampling value."},
    {65230, "LZ77 decompression error."},
    {65231, "JPEG decompression error. Unexpected end of input."},
    {65232, "Word 5.x screen capture images"},
    {65233, "Alias/Wavefront images"},
    {65234, "SGI true color images with alpha"},
    {65235, "SGI black/white images"},
    {65236, "Photoshop images"},
    {65237, "Portable map images"},
    {65238, "Portable pixel map images"},
    {65239, "Portable gray map images"},
    {65240, "Portable bitmap images"},
    {65241, "Autodesk images"},
    {65242, "Kodak Photo-CD images"},
    {65243, "Dr. Halo images"},
    {65244, "Paintshop Pro images"},
    {65245, "Portable network graphic images"},
    {65246, "Cannot load image. Invalid or unexpected %s image format."},
    {65247, "Invalid color format in %s file."},
    {65248, "Encapsulated Postscript images"},
    {65249, "Windows icons"},
    {65250, "Windows metafiles"},
    {65251, "Windows enhanced meta files"},
    {65252, "JPG images"},
    {65253, "JPEG images"},
    {65254, "JPE images"},
    {65255, "JFIF images"},
    {65256, "Truevision images"},
    {65257, "Tagged image file format images"},
    {65258, "Macintosh TIFF images"},
    {65259, "PC TIF images"},
    {65260, "GFI fax images"},
    {65261, "SGI images"},
    {65262, "SGI true color images"},
    {65263, "ZSoft Paintbrush images"},
    {65276, "Attempt to register %s twice."},
    {65277, "Windows bitmaps"},
    {65278, "Run length encoded Windows bitmaps"},
    {65279, "Device independant Windows bitmaps"},
};
static_assert(std::size(kTable) == CodecStringCount);

struct TIds {
    uint16_t ids[CodecStringCount];
    constexpr TIds() : ids{}
    {
        for (int i = 0; i < CodecStringCount; ++i) ids[i] = kTable[i].id;
    }
};
constexpr TIds kIds;

}  // namespace

std::string LoadStr(uint16_t id)
{
    const auto* it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                                      [](const TEntry& e, uint16_t v) { return e.id < v; });
    return (it != std::end(kTable) && it->id == id) ? it->text : "";
}

std::string FormatStr(const std::string& format, std::initializer_list<std::string> args)
{
    std::string out;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            if (arg != args.end()) out += *arg++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string FormatStr(uint16_t id, std::initializer_list<std::string> args) { return FormatStr(LoadStr(id), args); }

const uint16_t* CodecStringIds() { return kIds.ids; }
