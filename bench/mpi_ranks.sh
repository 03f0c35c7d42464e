#!/usr/bin/env bash
# One command-line run shared by the processes of an MPI job on this machine:
# time for each number of processes against the program alone (rounds
# interleaved, medians), the peak resident memory of the largest process, and
# whether each result is the one the program alone writes (the bytes of a
# .bmp or .raw; the pixels of every level of a .tif, read through GDAL).
#
# Usage: bench/mpi_ranks.sh MODEL EXTENSION ROUNDS PROGRAM [PROCESSES...]
#   MODEL      any model the program reads (e.g. the 600 M-cell big_m2.raw that
#              bench/big_tif.sh makes with BIG_MODELS=FOLDER)
#   EXTENSION  the result's: .bmp, .raw, .tif or .png
#   PROGRAM    isolines_trace_4 built with -DISOLINES_MPI=ON
#   PROCESSES  the numbers of processes to start (default: 1 2 3 5)
#   PLAN       the plan's options (default "-i 1000 --min 1000 --max 18000")
# Needs: mpirun (openmpi-bin), /usr/bin/time, python3-gdal for a .tif.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/lib.sh"
model=$(realpath "$1")
extension=$2
rounds=$3
program=$(realpath "$4")
shift 4
counts=("${@:-1 2 3 5}")
read -r -a counts <<< "${counts[*]}"
read -r -a plan <<< "-q ${PLAN:--i 1000 --min 1000 --max 18000}"
mpirun=(mpirun --oversubscribe)
[ "$(id -u)" = 0 ] && mpirun+=(--allow-run-as-root)

work=$(mktemp -d "${TMPDIR:-/tmp}/mpi-ranks-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# Runs the program, alone (no count) or started by mpirun; each process
# writes its peak resident memory in peak.RANK. Prints "seconds peak_KiB".
run() {  # $1 result, $2 processes or ""
  rm -f peak.*
  local start end
  start=$EPOCHREALTIME
  if [ -z "$2" ]; then
    /usr/bin/time -o peak.0 -f %M "$program" "${plan[@]}" "$model" "$1" > /dev/null
  else
    "${mpirun[@]}" -n "$2" sh -c '/usr/bin/time -o "peak.${OMPI_COMM_WORLD_RANK}" -f %M "$@"' sh \
      "$program" "${plan[@]}" "$model" "$1" > /dev/null
  fi
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" -v m="$(cat peak.* | sort -n | tail -n 1)" 'BEGIN { printf "%.3f %d\n", e - s, m }'
}

same_result() {  # $1 $2: results of one plan
  if [ "$extension" = .tif ]; then
    /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
from osgeo import gdal
def levels(path):
    dataset = gdal.Open(path)
    band = dataset.GetRasterBand(1)
    for b in [band] + [band.GetOverview(k) for k in range(band.GetOverviewCount())]:
        for y in range(0, b.YSize, 512):
            yield b.ReadRaster(0, y, b.XSize, min(512, b.YSize - y))
    yield dataset.GetGeoTransform(), dataset.GetProjection()
print("same" if all(a == b for a, b in zip(levels(sys.argv[1]), levels(sys.argv[2]), strict=True)) else "DIFFERENT")
PY
  else
    cmp -s "$1" "$2" && echo same || echo DIFFERENT
  fi
}

declare -A seconds memory verdict
for ((r = 0; r < rounds; r++)); do
  read -r t m < <(run "alone$extension" "")
  seconds[alone]+="$t "; memory[alone]+="$m "
  for n in "${counts[@]}"; do
    read -r t m < <(run "n$n$extension" "$n")
    seconds[$n]+="$t "; memory[$n]+="$m "
    [ "$r" = 0 ] && verdict[$n]="$(same_result "alone$extension" "n$n$extension") $(cmp -s alone_tab.txt "n${n}_tab.txt" && echo same || echo DIFFERENT)"
    rm -f "n$n$extension"
  done
done

median_of() { printf '%s\n' $1 | median; }
alone=$(median_of "${seconds[alone]}")
echo "$(basename "$model") -> $extension, plan ${plan[*]}; medians of $rounds interleaved rounds"
printf '| processes | time | x alone | peak memory of the largest | image, table as alone |\n|---|---|---|---|---|\n'
awk -v t="$alone" -v m="$(median_of "${memory[alone]}")" \
  'BEGIN { printf "| alone | %.2f s | 1.00 | %.0f MiB | |\n", t, m / 1024 }'
for n in "${counts[@]}"; do
  awk -v n="$n" -v t="$(median_of "${seconds[$n]}")" -v a="$alone" -v m="$(median_of "${memory[$n]}")" -v v="${verdict[$n]}" \
    'BEGIN { printf "| %d | %.2f s | %.2f | %.0f MiB | %s |\n", n, t, t / a, m / 1024, v }'
done
for k in alone "${counts[@]}"; do echo "$k: ${seconds[$k]}s" >&2; done
