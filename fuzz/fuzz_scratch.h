// A private scratch directory for fuzz targets whose readers take file names:
// in memory (/dev/shm) where possible, made once per run; and files in it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline const std::string& ScratchDir()
{
    static const std::string dir = [] {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/fuzzXXXXXX");
        if (!mkdtemp(pattern.data())) abort();
        return pattern;
    }();
    return dir;
}

// The path of the named file in the scratch directory.
inline std::string ScratchPath(const std::string& name) { return ScratchDir() + "/" + name; }

// Writes the bytes as the named file of the scratch directory; returns its path.
inline std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = ScratchPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) abort();
    if (size && std::fwrite(data, 1, size, f) != size) abort();
    std::fclose(f);
    return path;
}
