// A private scratch directory for fuzz targets whose readers take file names:
// in memory (/dev/shm) where possible, made once per run.
#pragma once

#include <unistd.h>

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
