#!/usr/bin/env bash
# The results of a large model: time, peak resident memory and the disk the
# run takes in the result's folder at its peak, for a raw 16-bit model and
# the same model as a tiled DEFLATE GeoTIFF (what national DEMs come as) to a
# .tif and a .png, against the raw model to a .bmp; builds compared with
# their runs interleaved (each round runs every command of every build once),
# medians of the rounds. Checks that every build's GeoTIFFs read back the
# same through GDAL (pixels and overviews).
#
# Usage: bench/big_tif.sh ETOPO20.asc ROUNDS PROGRAM...
#   ETOPO20.asc  a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc),
#                resampled to ROWS x COLUMNS (default 20000 x 30000, set
#                BIG_ROWS and BIG_COLUMNS to change it: 1.2 GB of model and
#                330 MB of GeoTIFF at the default; check the free space;
#                BIG_MODELS=FOLDER keeps the models there and reuses them)
#   BIG_PLAN     the plan's options (default "-i 1000 --min 1000 --max 18000",
#                18 levels, read once; "-i 62 --min 1978" gives 250 levels
#                and a first pass for the range)
#   PROGRAM      isolines_trace_4 binaries (each with its libisolines_gdal.so
#                beside it or where it was built); the first also runs the
#                raw model to a .bmp, the reference of the ratios
# Needs: the build in ./build (for make_big_model), gdal-bin, python3-gdal,
# /usr/bin/time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source "$top/bench/lib.sh"
source_grid=$(realpath "$1")
rounds=$2
shift 2
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
rows=${BIG_ROWS:-20000}
columns=${BIG_COLUMNS:-30000}
cmake --build "$build" -j2 --target make_big_model >/dev/null

work=$(mktemp -d "$build/big-tif-XXXXXX")
trap 'rm -rf "$work"' EXIT
models=${BIG_MODELS:-$work}
mkdir -p "$models"
cd "$models"
if [ ! -f tiled.tif ] || [ "$(sed -n 1p big_m2.txt)" != "$rows" ] || [ "$(sed -n 2p big_m2.txt)" != "$columns" ]; then
"$build/bench/make_big_model" --raw16 "$source_grid" "$rows" "$columns" big > /dev/null
cat > big.vrt <<VRT
<VRTDataset rasterXSize="$columns" rasterYSize="$rows">
  <VRTRasterBand dataType="UInt16" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativetoVRT="1">big_m2.raw</SourceFilename>
    <PixelOffset>2</PixelOffset><LineOffset>$((columns * 2))</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
VRT
gdal_translate -q -a_srs EPSG:4326 -a_ullr -180 90 180 -90 -co TILED=YES -co COMPRESS=DEFLATE big.vrt tiled.tif
rm big.vrt
fi
cd "$work"
ln -s "$models/big_m2.raw" "$models/big_m2.txt" "$models/tiled.tif" .
read -r -a plan <<< "-q ${BIG_PLAN:--i 1000 --min 1000 --max 18000}"

# Runs one command whose result is $1 in the empty folder out/; prints
# "seconds cpu_seconds peak_KiB disk_KiB result_KiB", the disk being the most
# the folder held while the command ran (sampled every 20 ms).
measure() {
  local result=$1
  shift
  rm -rf out && mkdir out
  /usr/bin/time -o time.txt -f "%e %U %S %M %x" "$@" "$result" > /dev/null 2> run.err &
  local pid=$! peak=0 now
  while kill -0 "$pid" 2> /dev/null; do
    now=$(du -sk out 2> /dev/null | cut -f1)
    [ "${now:-0}" -gt "$peak" ] && peak=$now
    sleep 0.02
  done
  wait "$pid" || true
  local line
  line=$(tail -n 1 time.txt)
  [ "${line##* }" = 0 ] || { echo "failed: $* ($line)" >&2; cat run.err >&2; kill $$; }
  read -r wall user system memory _ <<< "$line"
  echo "$wall $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') $memory $peak $(du -sk "$result" | cut -f1)"
}

cases=("big_m2.raw .tif" "tiled.tif .tif" "tiled.tif .png" "tiled.tif .bmp")
declare -A seconds cpu memory disk size
record() {  # $1 key; reads "seconds cpu peak disk size"
  local t c m d s
  read -r t c m d s
  seconds[$1]+="$t "; cpu[$1]+="$c "; memory[$1]+="$m "; disk[$1]+="$d "; size[$1]=$s
}
for ((r = 0; r < rounds; r++)); do
  record bmp < <(measure out/result.bmp "${programs[0]}" "${plan[@]}" big_m2.raw)
  for p in "${!programs[@]}"; do
    for c in "${!cases[@]}"; do
      read -r input extension <<< "${cases[$c]}"
      record "$p,$c" < <(measure "out/result$extension" "${programs[$p]}" "${plan[@]}" "$input")
      [ "$r" = 0 ] && [ "$extension" = .tif ] && mv out/result.tif "result$p-$c.tif"
    done
  done
done

median_of() { printf '%s\n' $1 | median; }
echo "model: $rows x $columns = $((rows * columns)) cells, plan ${plan[*]}; medians of $rounds interleaved rounds"
bmp=$(median_of "${seconds[bmp]}")
printf '| %s | %s | %s | %s | %s | %s | %s |\n|---|---|---|---|---|---|---|\n' \
  "build, input -> output" time "x raw -> .bmp" "CPU time" "peak memory" "disk at its peak" "result"
row() {  # $1 label, $2 key
  awk -v l="$1" -v t="$(median_of "${seconds[$2]}")" -v b="$bmp" -v c="$(median_of "${cpu[$2]}")" \
      -v m="$(median_of "${memory[$2]}")" -v d="$(median_of "${disk[$2]}")" -v s="${size[$2]}" \
      'BEGIN { printf "| %s | %.2f s | %.2f | %.2f s | %.0f MiB | %.0f MiB | %.1f MiB |\n", l, t, t / b, c, m / 1024, d / 1024, s / 1024 }'
}
row "raw 16-bit -> .bmp" bmp
for p in "${!programs[@]}"; do
  for c in "${!cases[@]}"; do row "${programs[$p]}: ${cases[$c]/ / -> }" "$p,$c"; done
done
for p in "${!programs[@]}"; do
  for c in "${!cases[@]}"; do
    echo "${programs[$p]} ${cases[$c]}: ${seconds[$p,$c]}s, CPU ${cpu[$p,$c]}" >&2
  done
done
echo "raw -> .bmp: ${seconds[bmp]}s" >&2
/usr/bin/python3 - result*.tif <<'PY'
import sys
from osgeo import gdal
def levels(path):  # every level, in slices of 512 rows
    dataset = gdal.Open(path)  # kept while its bands are read
    band = dataset.GetRasterBand(1)
    for b in [band] + [band.GetOverview(k) for k in range(band.GetOverviewCount())]:
        for y in range(0, b.YSize, 512):
            yield b.ReadRaster(0, y, b.XSize, min(512, b.YSize - y))
same = all(all(a == b for a, b in zip(levels(sys.argv[1]), levels(p), strict=True)) for p in sys.argv[2:])
print("GeoTIFFs read back: " + ("the same" if same else "DIFFERENT"))
PY
