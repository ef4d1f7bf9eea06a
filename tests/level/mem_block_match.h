// A memory block compared with the bytes it should hold, for the level suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "level/zlibwrap.h"

// The block holds exactly the expected bytes; a failure says whether the
// length or the content differs.
inline ::testing::AssertionResult SameBlock(const TMemBlock& b, const std::vector<uint8_t>& expected)
{
    if (size_t(b.length()) != expected.size())
        return ::testing::AssertionFailure() << "length " << b.length() << ", expected " << expected.size();
    if (!expected.empty() && std::memcmp(b.data(), expected.data(), expected.size()) != 0)
        return ::testing::AssertionFailure() << "content differs";
    return ::testing::AssertionSuccess();
}
