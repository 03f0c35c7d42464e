#!/usr/bin/env bash
# Times builds of the program against each other on the same large real model,
# their runs interleaved so that other work on the machine weighs on all alike,
# and checks that they draw the same bitmap.
#
# Usage: bench/compare_builds.sh ETOPO20.asc RUNS PROGRAM...
#   ETOPO20.asc  a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc),
#                resampled up 4x (about 9.3 million cells, raw 32-bit)
#   RUNS         rounds; each runs every program once
#   PROGRAM      isolines_trace_4 binaries, e.g. build/isolines_trace_4 and the
#                build of an earlier commit (git worktree add ../old <commit>)
# Needs: the build in ./build (for make_big_model).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source "$top/bench/lib.sh"
source_grid=$(realpath "$1")
runs=$2
shift 2
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
cmake --build "$build" -j2 --target make_big_model >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cells=$(make_big_raw_model "$source_grid")
rm images/big/big.asc

declare -A times
for ((r = 0; r < runs; r++)); do
  for k in "${!programs[@]}"; do
    times[$k]+="$(wall_seconds "${programs[$k]}") "
    mv images/big/iso.bmp "result$k.bmp"
  done
done
echo "model: $cells cells (raw 32-bit), 250 levels every 62 m, bitmap result; $runs interleaved rounds"
first=""
for k in "${!programs[@]}"; do
  m=$(printf '%s\n' ${times[$k]} | median)
  [ -n "$first" ] || first=$m
  same=$(cmp -s result0.bmp "result$k.bmp" && echo "same bitmap" || echo "DIFFERENT bitmap")
  awk -v p="${programs[$k]}" -v m="$m" -v f="$first" -v s="$same" -v t="${times[$k]}" \
    'BEGIN { printf "%s: median %.3f s (this / first = %.2f, %s)   [%s]\n", p, m, m / f, s, t }'
done
