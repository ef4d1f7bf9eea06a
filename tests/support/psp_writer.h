// Paint Shop Pro files written from the format's block layout, for tests and
// fuzz seeds (no local tool writes them): the file header, the general
// image attributes, an optional palette and a layer bank of raster layers
// whose channels are stored plain, run-length or deflate compressed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TPspChannel {
    uint16_t Type = 0;           // 0 composite/transparency, 1 red, 2 green, 3 blue
    std::vector<uint8_t> Plane;  // rows of the channel's row size, uncompressed
};

struct TPspLayer {
    uint8_t LayerType = 0;  // the first byte of the layer information
    std::string Name = "Layer";
    std::vector<TPspChannel> Channels;
};

struct TPspFile {
    uint16_t Major = 5;
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t BitDepth = 24;  // 1, 4, 8 or 24
    bool Greyscale = false;
    uint16_t Compression = 0;  // 0 none, 1 run-length, 2 deflate
    double Resolution = 72;
    uint8_t ResolutionMetric = 1;
    std::vector<std::array<uint8_t, 3>> Palette;  // red, green, blue
    std::vector<TPspLayer> Layers;
};

// The bytes of one channel row for the width and bit depth (24-bit pictures
// have 8-bit channels).
size_t PspRowSize(int width, int bitDepth);
std::vector<uint8_t> WritePsp(const TPspFile& file);
// Paint Shop Pro's run-length packets over the bytes.
std::vector<uint8_t> PspRunLength(const std::vector<uint8_t>& data);
