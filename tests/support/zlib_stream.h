// Zlib streams made with zlib itself, for the suites and fixtures that need
// compressed data that our own code did not write.
#pragma once

#include <cstdint>
#include <vector>

// The bytes as one zlib stream at the compression level (0 to 9).
std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level);

// A "ZLIB" container of the content as the buffered file layer stores one:
// "ZLIB", the stream's size, the content's size, then the stream (level 9).
std::vector<uint8_t> ZlibContainerFile(const std::vector<uint8_t>& content);
