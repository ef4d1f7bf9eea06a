// Test pictures from ImageMagick: run its convert program to write pictures
// in any format, and read its own decoding of a file back as RGBA pixels, so
// that a reader can be compared pixel by pixel with an independent decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A decoded picture: 4 bytes (red, green, blue, alpha) per pixel, rows top first.
struct TReferenceImage {
    int Width = 0;
    int Height = 0;
    bool HasAlpha = false;
    std::vector<uint8_t> Rgba;

    const uint8_t* Pixel(int x, int y) const { return Rgba.data() + (static_cast<size_t>(y) * Width + x) * 4; }
};

// Runs the program (no shell); true when it exited with 0. Its messages and
// output go to *log when given, else nowhere.
bool RunProgram(const std::string& program, const std::vector<std::string>& args, std::string* log = nullptr);
// The real ImageMagick convert program, or "" when it is not installed.
std::string ConvertProgram();
// Runs convert with the arguments (passed as they are, no shell). Returns
// true when it succeeded; its messages go to *log when given.
bool RunConvert(const std::vector<std::string>& args, std::string* log = nullptr);
// Has convert write the picture source as target (a file name, with a
// "format:" prefix where the ending does not tell) with the options; the
// alpha channel is dropped first unless keepAlpha.
bool ConvertPicture(const std::string& source, bool keepAlpha, const std::vector<std::string>& options,
                    const std::string& target, std::string* log = nullptr);
// ImageMagick's decoding of the file ("" format prefix: by its extension,
// else e.g. "tga:"), through a PAM file written next to it.
bool ReadReference(const std::string& file, TReferenceImage& out, std::string* log = nullptr);
// Reads a PAM (P7) or binary PPM/PGM (P6/P5) file; any depth is scaled to 8 bits.
bool ReadPam(const std::string& file, TReferenceImage& out);
// Writes a binary PPM (P6) of the RGB samples (3 bytes per pixel).
bool WritePpm(const std::string& file, int width, int height, const std::vector<uint8_t>& rgb);
class TBitmap;
// "" when every pixel of the bitmap matches the reference within the
// tolerance per channel (alpha from the fourth byte of 32-bit rows when asked),
// else a description of the differences.
std::string ComparePixels(const TBitmap& bitmap, const TReferenceImage& reference, int tolerance = 0,
                          bool compareAlpha = false);
// Writes a PAM (P7, RGB_ALPHA) of the RGBA samples (4 bytes per pixel).
void WritePamRgba(const std::string& file, int width, int height, const std::vector<uint8_t>& rgba);
// The test pattern with an alpha channel: columns 0-3 clear, 4-7 opaque, the rest varied.
std::vector<uint8_t> TestPatternRgba(int width, int height);
// A deterministic test picture: runs of one colour, gradients and noise, so
// that compressed formats see both long runs and literal stretches.
std::vector<uint8_t> TestPatternRgb(int width, int height);
