#!/bin/sh
# Installs what is missing, builds the editor (Release, into build/) and starts it.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DEDITOR_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"

EDITOR=build/src/app/leveleditor
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The editor is built ($EDITOR) but there is no display to show its window on (DISPLAY is not set)." >&2
  echo "Run it inside a desktop session, or under a virtual display: xvfb-run sh scripts/run.sh" >&2
  exit 1
fi
exec "$EDITOR" "$@"
