#!/bin/sh
# Installs what is missing, builds the editor (Release, into build/) and starts it.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DEDITOR_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"

EDITOR=build/src/app/leveleditor
if [ ! -x "$EDITOR" ]; then
  echo "Everything is built; the main window does not exist yet, so there is no program to start."
  exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The editor is built ($EDITOR) but there is no display to show its window on (DISPLAY is not set)." >&2
  exit 1
fi
exec "$EDITOR" "$@"
