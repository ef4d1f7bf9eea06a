#!/bin/sh
# Installs what is missing, checks that every C++ source is laid out as
# .clang-format says, then builds and runs every test twice, warnings
# as errors both times: with the address and undefined-behaviour sanitizers
# (into build-test/), and optimised without them (into build-release/), so
# that faults which depend on optimisation or on allocation order show too.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== Layout of the sources (.clang-format)"
find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 clang-format --dry-run --Werror

echo "== With the sanitizers (build-test/)"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
      -DEDITOR_SANITIZE=ON -DEDITOR_WERROR=ON -DEDITOR_BUILD_TESTS=ON >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test --output-on-failure -j"$jobs"

# The benchmarks are built (and so kept compiling) in the build above.
echo "== Optimised, without sanitizers (build-release/)"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DEDITOR_WERROR=ON \
      -DEDITOR_BUILD_BENCH=OFF -DEDITOR_BUILD_TESTS=ON >/dev/null
cmake --build build-release -j"$jobs"
ctest --test-dir build-release --output-on-failure -j"$jobs"
