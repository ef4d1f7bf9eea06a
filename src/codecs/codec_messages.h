// The texts of the image codec library, addressed by their 16-bit
// identifiers: error messages (some with "%s" placeholders) and the file-type
// descriptions handed to the picture loader.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

enum TCodecString : uint16_t {
    gesJPEGStripSize = 65200,
    gesJPEGComponentCount = 65201,
    gesJPEGDataPrecision = 65202,
    gesJPEGSamplingFactors = 65203,
    gesJPEGBogusTableField = 65204,
    gesJPEGFractionalLine = 65205,
    gesWarning = 65206,

    gesStreamReadError = 65216,
    gesUnsupportedFeature = 65217,
    gesCRCError = 65218,
    gesDecompression = 65219,
    gesExtraCompressedData = 65220,
    gesInvalidPalette = 65221,
    gesUnknownCriticalChunk = 65222,
    gesCompressionScheme = 65223,
    gesIndexedNotSupported = 65224,
    gesConversionUnsupported = 65225,
    gesInvalidSampleDepth = 65226,
    gesInvalidPixelDepth = 65227,
    gesInvalidSubSampling = 65228,
    gesVerticalSubSamplingError = 65229,
    gesLZ77Error = 65230,
    gesJPEGEOI = 65231,
    gesWord5ScreenCapture = 65232,
    gesAliasWavefront = 65233,
    gesSGITrueColorAlpha = 65234,
    gesSGIMono = 65235,
    gesPhotoshop = 65236,
    gesPortable = 65237,
    gesPortablePixel = 65238,
    gesPortableGray = 65239,
    gesPortableMono = 65240,
    gesAutodesk = 65241,
    gesKodakPhotoCD = 65242,
    gesDrHalo = 65243,
    gesPaintshopPro = 65244,
    gesPortableNetworkGraphic = 65245,
    gesInvalidImage = 65246,
    gesInvalidColorFormat = 65247,
    gesEPS = 65248,
    gesIcons = 65249,
    gesMetaFiles = 65250,
    gesEnhancedMetaFiles = 65251,
    gesJPGImages = 65252,
    gesJPEGImages = 65253,
    gesJPEImages = 65254,
    gesJFIFImages = 65255,
    gesTruevision = 65256,
    gesTIFF = 65257,
    gesMacTIFF = 65258,
    gesPCTIF = 65259,
    gesGFIFax = 65260,
    gesSGI = 65261,
    gesSGITrueColor = 65262,
    gesZSoft = 65263,

    gesRegistration = 65276,
    gesBitmaps = 65277,
    gesRLEBitmaps = 65278,
    gesDIBs = 65279,
};

// Number of texts in the table.
constexpr int CodecStringCount = 59;

// The text of an identifier ("" for one that is not in the table).
std::string LoadStr(uint16_t id);
// The text with each "%s" replaced by the next argument in turn.
std::string FormatStr(const std::string& format, std::initializer_list<std::string> args);
std::string FormatStr(uint16_t id, std::initializer_list<std::string> args);
// Every identifier of the table, in ascending order.
const uint16_t* CodecStringIds();
