#!/usr/bin/env bash
# Times builds of the program against each other on one model and plan of
# the command line, their runs interleaved so that other work on the machine
# weighs on all alike: medians of the wall and processor time (user + system),
# the largest peak resident memory, and whether every build wrote the same
# files as the first.
#
# Usage: bench/compare_on_model.sh MODEL EXTENSION ROUNDS "OPTIONS" PROGRAM...
#   MODEL      any model the command line reads (a large GeoTIFF, a .raw)
#   EXTENSION  of the result: .bmp, .tif, .png or .raw
#   ROUNDS     each runs every program once
#   OPTIONS    the plan and other options, one word each: "-i 1000 --min 1000 --max 18000"
#   PROGRAM    isolines_trace_4 binaries: build/isolines_trace_4 and the build
#              of an earlier commit (git archive <commit> | tar -x -C ../old)
# Prints each run's seconds on standard error as it goes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/lib.sh"
model=$(realpath "$1")
extension=$2
rounds=$3
read -r -a options <<< "$4"
shift 4
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done

# The results go into the model's folder (a disk, where a run writes them).
work=$(mktemp -d "$(dirname "$model")/compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
declare -A walls cpus peaks
for ((r = 0; r < rounds; r++)); do
  for k in "${!programs[@]}"; do
    rm -rf "${work:?}/$k" && mkdir "$work/$k"
    # wall, user, system seconds, peak KiB, exit status
    read -r wall user system peak status < <(/usr/bin/time -f "%e %U %S %M %x" \
      "${programs[$k]}" -q "${options[@]}" "$model" "$work/$k/result$extension" 2>&1 >/dev/null | tail -n 1)
    [ "$status" = 0 ] || { echo "failed: ${programs[$k]} (status $status)" >&2; exit 1; }
    walls[$k]+="$wall "
    cpus[$k]+="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') "
    peaks[$k]+="$peak "
    echo "round $((r + 1)), program $k: $wall s wall, $user + $system s processor" >&2
  done
done
echo "model: $model; options: ${options[*]}; result $extension; medians of $rounds interleaved rounds"
first=""
for k in "${!programs[@]}"; do
  m=$(printf '%s\n' ${walls[$k]} | median)
  c=$(printf '%s\n' ${cpus[$k]} | median)
  [ -n "$first" ] || first=$m
  peak=$(printf '%s\n' ${peaks[$k]} | sort -n | tail -n 1)
  same="same files"
  for f in "$work/0"/*; do cmp -s "$f" "$work/$k/$(basename "$f")" || same="DIFFERENT $(basename "$f")"; done
  awk -v p="${programs[$k]}" -v m="$m" -v c="$c" -v f="$first" -v s="$same" -v t="${walls[$k]}" -v peak="$peak" \
    'BEGIN { printf "%s: %.2f s wall (this / first = %.2f), %.2f s processor, peak %.0f MiB, %s   [%s]\n",
             p, m, m / f, c, peak / 1024, s, t }'
done
