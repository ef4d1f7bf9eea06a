#!/bin/sh
# Installs the Debian packages the build and the tests need, but only those
# that are missing, so a second run costs a few milliseconds.
set -eu

# xvfb and xauth give xvfb-run: a virtual display for the editor's window on
# a machine without one (xauth is only recommended by xvfb, so named here).
# clang-format checks the layout of the sources in the test command.
# libjpeg-turbo-progs gives cjpeg and djpeg, which the tests compare JPEG
# pictures with.
PACKAGES="cmake make g++ zlib1g-dev libjpeg-dev libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev imagemagick netpbm libtiff-tools libjpeg-turbo-progs xvfb xauth clang-format"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  # shellcheck disable=SC2086
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
fi
