#!/usr/bin/env bash
# Times the whole program on a large real model against gdal_contour and
# against the same program with the pass-by-pass reference engine, and
# measures its peak memory per cell.
#
# Usage: bench/whole_program.sh ETOPO20.asc [runs]
#   ETOPO20.asc  a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc),
#                resampled up 4x in each direction (about 9.3 million cells)
#   runs         runs of the program and of gdal_contour (default 5); the
#                reference engine runs once (it takes about a minute)
# Needs: the build in ./build (cmake -S . -B build && cmake --build build),
# gdal-bin for gdal_contour, and /usr/bin/time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source "$top/bench/lib.sh"
source_grid=$(realpath "$1")
runs=${2:-5}
cmake --build "$build" -j2 --target isolines_trace_4 isolines_trace_4_reference make_big_model >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cells=$(make_big_raw_model "$source_grid")
interval=62

fast_times=() ; gdal_times=()
for ((r = 0; r < runs; r++)); do
  fast_times+=("$(wall_seconds "$build/isolines_trace_4")")
  rm -rf gdal && mkdir gdal
  read -r t _ < <(timed gdal_contour -q -i "$interval" -off -9100 images/big/big.asc gdal/contours.shp)
  gdal_times+=("$t")
done
read -r _ peak < <(timed "$build/isolines_trace_4" < answers.txt)
mv images/big/iso.bmp fast.bmp
read -r ref_time _ < <(timed "$build/bench/isolines_trace_4_reference" < answers.txt)
cmp -s fast.bmp images/big/iso.bmp && same="identical" || same="DIFFERENT"

fast=$(printf '%s\n' "${fast_times[@]}" | median)
gdal=$(printf '%s\n' "${gdal_times[@]}" | median)
echo "model: $cells cells (raw 32-bit), 250 levels every $interval m, bitmap result"
echo "program (fast engine), median of $runs: $fast s   [${fast_times[*]}]"
echo "gdal_contour -i $interval, median of $runs: $gdal s   [${gdal_times[*]}]"
echo "program (reference engine), 1 run:  $ref_time s"
echo "bitmaps of the two engines: $same"
awk -v f="$fast" -v g="$gdal" -v r="$ref_time" -v p="$peak" -v c="$cells" 'BEGIN {
  printf "gdal_contour / program = %.1f\nreference / program = %.1f\npeak memory %.1f MB = %.2f bytes per cell\n",
         g / f, r / f, p / 1024, p * 1024 / c }'
