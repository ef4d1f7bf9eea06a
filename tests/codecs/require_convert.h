// Skips a test that compares with ImageMagick where its convert program is
// not installed.
#pragma once

#include <gtest/gtest.h>

#include "support/imagemagick.h"

#define REQUIRE_CONVERT()                                                                       \
    do {                                                                                        \
        if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed"; \
    } while (0)
