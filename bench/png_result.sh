#!/usr/bin/env bash
# Times the .png path against the raw path to a bitmap, on the relief of
# gdal_paths.sh (9.3 million cells, an Int32 GeoTIFF) and on a large model
# made from it (by default 20000 x 30000 = 600 million cells, a tiled
# DEFLATE GeoTIFF of 16 bits), 250 levels over the range; optionally against
# another build's .png path. Runs interleaved (each round runs every command
# once), medians of the rounds; then the sizes of the PNGs and the peak
# resident memory of each command (its largest over the rounds).
#
# Usage: bench/png_result.sh ETOPO20.asc [rounds] [ROWS COLUMNS] [OTHER_PROGRAM]
#   ETOPO20.asc     a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc)
#   rounds          default 5
#   ROWS COLUMNS    the large model (default 20000 30000: 1.2 GB raw and about
#                   0.3 GB of GeoTIFF on disk, in build/)
#   OTHER_PROGRAM   another build of the program (a copy of build/ with its
#                   libisolines_gdal.so beside it), whose PNGs must read back
#                   with the same pixels
# Needs: the build in ./build with GDAL, gdal-bin, python3-gdal, /usr/bin/time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source "$top/bench/lib.sh"
source_grid=$(realpath "$1")
rounds=${2:-5}
rows=${3:-20000}
cols=${4:-30000}
other=${5:+$(realpath "$5")}
cmake --build "$build" -j2 --target isolines_trace_4 isolines_gdal make_big_model >/dev/null
program="$build/isolines_trace_4"

work=$(mktemp -d "$build/png-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# A raw model described for GDAL, copied into a GeoTIFF with creation options.
raw_to_tif() {  # $1 raw, $2 lines, $3 columns, $4 Int32 or UInt16, $5 out, options...
  local raw=$1 lines=$2 columns=$3 type=$4 out=$5 size
  shift 5
  size=$([ "$type" = Int32 ] && echo 4 || echo 2)
  cat > model.vrt <<VRT
<VRTDataset rasterXSize="$columns" rasterYSize="$lines">
  <VRTRasterBand dataType="$type" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativetoVRT="1">$raw</SourceFilename>
    <PixelOffset>$size</PixelOffset><LineOffset>$((columns * size))</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
VRT
  gdal_translate -q -a_srs EPSG:4326 -a_ullr -180 90 180 -90 "$@" model.vrt "$out"
  rm model.vrt
}

mkdir -p images/big images/m
"$build/bench/make_big_model" "$source_grid" 4 images/big/big > /dev/null
rm images/big/big.asc
raw_to_tif images/big/big_m4.raw "$(sed -n 1p images/big/big_m4.txt)" "$(sed -n 2p images/big/big_m4.txt)" Int32 etopo.tif
"$build/bench/make_big_model" --raw16 "$source_grid" "$rows" "$cols" images/m/big > /dev/null
raw_to_tif images/m/big_m2.raw "$rows" "$cols" UInt16 large_model.tif -co TILED=YES -co COMPRESS=DEFLATE -co NUM_THREADS=ALL_CPUS

# 250 levels over each model's range (the large model is in meters + 11000).
small_plan=(-q -i 62 --min -9100 --max 6338)
lo=$(sed -n 4p images/m/big_m2.txt); hi=$(sed -n 5p images/m/big_m2.txt)
step=$(( (hi - lo) / 249 + 1 ))
large_plan=(-q -i "$step" --min "$lo" --max $(( lo + 249 * step )))

large="$rows x $cols"
names=("ETOPO x4: raw 32-bit model -> .bmp" "ETOPO x4: Int32 GeoTIFF -> .png"
       "$large: raw 16-bit model -> .bmp" "$large: tiled DEFLATE GeoTIFF -> .png")
commands=("$program ${small_plan[*]} images/big/big_m4.raw small_raw.bmp"
          "$program ${small_plan[*]} etopo.tif small.png"
          "$program ${large_plan[*]} images/m/big_m2.raw large_raw.bmp"
          "$program ${large_plan[*]} large_model.tif large.png")
if [ -n "$other" ]; then
  names+=("ETOPO x4: Int32 GeoTIFF -> .png, other build" "$large: tiled DEFLATE GeoTIFF -> .png, other build")
  commands+=("$other ${small_plan[*]} etopo.tif small_other.png" "$other ${large_plan[*]} large_model.tif large_other.png")
fi
declare -A times peaks
for ((r = 0; r < rounds; r++)); do
  for k in "${!names[@]}"; do
    # shellcheck disable=SC2086
    read -r t m < <(timed ${commands[$k]})
    times[$k]+="$t "
    [ "${peaks[$k]:-0}" -ge "$m" ] || peaks[$k]=$m
  done
done

median_of() { printf '%s\n' ${times[$1]} | median; }
echo "250 levels; medians of $rounds interleaved rounds; peak: the largest resident memory of the rounds"
printf '| %s | %s | %s | %s |\n|---|---|---|---|\n' "input -> output" "median" "x the raw path" "peak"
for k in "${!names[@]}"; do
  m=$(median_of "$k")
  raw=$(median_of $(( k == 0 || k == 1 || k == 4 ? 0 : 2 )))
  printf '| %s | %.2f s | %.2f | %.0f MiB |\n' "${names[$k]}" "$m" "$(awk -v m="$m" -v r="$raw" 'BEGIN { print m / r }')" \
    "$(awk -v k="${peaks[$k]}" 'BEGIN { print k / 1024 }')"
done
echo "each: ${times[*]}" | tr -s ' ' | fold -w 160 >&2
for png in small large; do
  line="$png.png: $(stat -c %s $png.png) bytes"
  if [ -n "$other" ]; then
    line+=", other build $(stat -c %s ${png}_other.png) bytes ($(awk -v a="$(stat -c %s $png.png)" -v b="$(stat -c %s ${png}_other.png)" 'BEGIN { printf "%.3f", a / b }') x)"
    same=$(/usr/bin/python3 -c "
from osgeo import gdal
a, b = gdal.Open('$png.png'), gdal.Open('${png}_other.png')
print('same pixels' if a.GetRasterBand(1).ReadRaster() == b.GetRasterBand(1).ReadRaster() else 'DIFFERENT pixels')")
    line+=", $same"
  fi
  echo "$line"
done
