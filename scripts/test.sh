#!/bin/sh
# Installs what is missing, builds everything with the address and
# undefined-behaviour sanitizers (into build-test/) and runs every test.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
      -DEDITOR_SANITIZE=ON -DEDITOR_WERROR=ON -DEDITOR_BUILD_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-test --output-on-failure -j"$(nproc)"
