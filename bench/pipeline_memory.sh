#!/usr/bin/env bash
# Peak memory and time of the whole program on models of growing size, and the
# largest one under a memory limit, against reading its file once.
#
# Usage: bench/pipeline_memory.sh ETOPO20.asc [ROWS COLUMNS] [--reference]
#   ETOPO20.asc  a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc)
#   ROWS COLUMNS size of the large raw 16-bit model (default 20000 30000,
#                1.2 GB on disk: check the free space first)
#   --reference  also run the reference build on the large model and compare
#                the bitmaps (it holds the whole model: many GB, many minutes)
# Needs: the build in ./build, /usr/bin/time and prlimit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source_grid=$(realpath "$1")
rows=${2:-20000}
cols=${3:-30000}
reference=${4:-}
limit_mib=256
cmake --build "$build" -j2 --target isolines_trace_4 isolines_trace_4_reference make_big_model >/dev/null

work=$(mktemp -d "$top/build/pipeline-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Answers for a raw model in meters, bitmap result, 250 levels over its range.
answers() {  # $1 model name, $2 width menu answer, $3 descriptor
  local lo hi step
  lo=$(sed -n 4p "$3"); hi=$(sed -n 5p "$3")
  step=$(( (hi - lo) / 249 + 1 ))
  printf '%s\n%s\n0\n%s\n0\niso\n1\n%s\n1\n%s\n%s\n1\n\n' m "$1" "$2" "$lo" "$step" "$(( lo + 249 * step ))"
}

# Runs the program (or another build) on answers; prints "seconds peak_KiB".
timed() {  # $1 binary, $2 answers file, [prefix command...]
  local binary=$1 in=$2 line
  shift 2
  /usr/bin/time -o time.txt -f "%e %M %x" "$@" "$binary" < "$in" > /dev/null 2> run.err || true
  line=$(tail -n 1 time.txt)
  [ "${line##* }" = 0 ] || { echo "failed: $binary ($line)" >&2; cat run.err >&2; exit 1; }
  echo "${line% *}"
}

mkdir -p images/m
report() {  # $1 label, $2 cells, $3 columns, $4 seconds, $5 KiB
  awk -v l="$1" -v c="$2" -v w="$3" -v t="$4" -v k="$5" 'BEGIN {
    bound = 64 * 1024 + 64 * w / 1024
    printf "%-34s %11d cells  %6.2f s  peak %7.1f MiB  (bound 64 MiB + 64 B x %d columns = %.1f MiB)\n",
           l, c, t, k / 1024, w, bound / 1024 }'
}

for factor in 4 8; do
  "$build/bench/make_big_model" "$source_grid" "$factor" images/m/x$factor > /dev/null
  rm -f images/m/x$factor.asc
  answers x$factor 1 images/m/x${factor}_m4.txt > a.txt
  l=$(sed -n 1p images/m/x${factor}_m4.txt); c=$(sed -n 2p images/m/x${factor}_m4.txt)
  read -r t k < <(timed "$build/isolines_trace_4" a.txt)
  report "raw 32-bit, x$factor" $((l * c)) "$c" "$t" "$k"
  rm -f images/m/x${factor}_m4.raw
done

"$build/bench/make_big_model" --raw16 "$source_grid" "$rows" "$cols" images/m/big > /dev/null
answers big 0 images/m/big_m2.txt > a.txt
cat images/m/big_m2.raw > /dev/null  # the same page cache state for every timing below
/usr/bin/time -o time.txt -f "%e" cat images/m/big_m2.raw > /dev/null
cat_t=$(tail -n 1 time.txt)
read -r t k < <(timed "$build/isolines_trace_4" a.txt)
report "raw 16-bit, $rows x $cols" $((rows * cols)) "$cols" "$t" "$k"
read -r t k < <(timed "$build/isolines_trace_4" a.txt prlimit --as=$((limit_mib << 20)))
report "  same, prlimit --as=${limit_mib}MiB" $((rows * cols)) "$cols" "$t" "$k"
echo "cat model > /dev/null: $cat_t s ($(( $(stat -c %s images/m/big_m2.raw) >> 20 )) MiB)"
if [ "$reference" = "--reference" ]; then
  mv images/m/iso.bmp program.bmp
  read -r t k < <(timed "$build/bench/isolines_trace_4_reference" a.txt)
  report "reference build" $((rows * cols)) "$cols" "$t" "$k"
  cmp -s program.bmp images/m/iso.bmp && echo "bitmaps: identical" || echo "bitmaps: DIFFERENT"
fi
