#!/bin/bash
# Runs every fuzz target of a libFuzzer build (see CMakeLists.txt here) for
# the given minutes with the limits every run uses, a few targets at a time
# so that all cores are busy. The saved inputs of fuzz/corpus/<name>/ are the
# seeds; what the run adds and finds lands in fuzz/findings/<name>/ (not
# kept by git: copy a finding into the corpus once it is mended).
#
#     bash fuzz/run.sh BUILD_DIR [MINUTES] [TARGETS AT ONCE]
set -eu
build=${1:?the build folder of an EDITOR_FUZZ build}
minutes=${2:-10}
cores=$(nproc)
atonce=${3:-$(( cores < 6 ? cores : 6 ))}
workers=$(( cores / atonce > 0 ? cores / atonce : 1 ))
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/findings"
run_one() {
  program=$1
  name=$(basename "$program")
  mkdir -p "$here/findings/$name/corpus" "$here/corpus/$name"
  echo "== $name: $minutes min, $workers workers"
  "$program" -malloc_limit_mb=1024 -rss_limit_mb=2048 -timeout=3 -max_len=1048576 \
      -max_total_time=$(( minutes * 60 )) -fork="$workers" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -artifact_prefix="$here/findings/$name/" "$here/findings/$name/corpus" "$here/corpus/$name" \
      >"$here/findings/$name/log" 2>&1 || true
  echo "== $name: done, $(ls "$here/findings/$name" | grep -c -E '^(crash|oom|timeout|leak|slow-unit)-' || true) findings"
}
find "$build/fuzz" -type f -name 'fuzz_*' -perm -u+x ! -name '*_replay' | sort >"$here/findings/targets"
# Targets at once: each line of the list starts one, at most $atonce running.
running=0
while read -r program; do
  run_one "$program" &
  running=$(( running + 1 ))
  if [ "$running" -ge "$atonce" ]; then
    wait -n
    running=$(( running - 1 ))
  fi
done <"$here/findings/targets"
wait
