#!/bin/sh
# Installs what is missing, builds the editor alone (Release, into build/:
# no tests, benchmarks or fuzz replays) and starts it.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DEDITOR_BUILD_TESTS=OFF -DEDITOR_BUILD_BENCH=OFF >/dev/null
cmake --build build --target leveleditor -j"$(nproc)"

EDITOR=build/src/app/leveleditor
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The editor is built ($EDITOR) but there is no display to show its window on (DISPLAY is not set)." >&2
  echo "Run it inside a desktop session, or under a virtual display: xvfb-run -a sh scripts/run.sh" >&2
  exit 1
fi
exec "$EDITOR" "$@"
