#!/usr/bin/env bash
# Times the paths a user of the command line takes (a GeoTIFF in; a bitmap,
# GeoTIFF or PNG out) against the raw path of the dialogue, on the same large
# real relief and plan, runs interleaved (each round runs every command once),
# medians of several rounds; then a small tile against loading GDAL alone, and
# gdal_contour with the same levels. Checks on the way that every GeoTIFF
# input gives the raw path's bitmap.
#
# Usage: bench/gdal_paths.sh ETOPO20.asc [rounds] [gdal_contour runs]
#   ETOPO20.asc  a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc),
#                resampled up 4x in each direction (about 9.3 million cells)
#   rounds       default 7
#   gdal_contour runs  default 3 (about 17 s each); 0 leaves it out
# Needs: the build in ./build with GDAL, gdal-bin.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source "$top/bench/lib.sh"
source_grid=$(realpath "$1")
rounds=${2:-7}
contour_runs=${3:-3}
cmake --build "$build" -j2 --target isolines_trace_4 isolines_gdal make_big_model >/dev/null
program="$build/isolines_trace_4"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cells=$(make_big_raw_model "$source_grid")
rm images/big/big.asc
lines=$(sed -n 1p images/big/big_m4.txt)
columns=$(sed -n 2p images/big/big_m4.txt)
# The raw model described for GDAL, then copied into the GeoTIFFs users have:
# Int32 in strips, Float32 tiled and compressed, and an SRTM-size Int16 tile.
cat > big.vrt <<VRT
<VRTDataset rasterXSize="$columns" rasterYSize="$lines">
  <VRTRasterBand dataType="Int32" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativetoVRT="1">images/big/big_m4.raw</SourceFilename>
    <PixelOffset>4</PixelOffset><LineOffset>$((columns * 4))</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
VRT
gdal_translate -q -a_srs EPSG:4326 -a_ullr -180 90 180 -90 big.vrt int32.tif
gdal_translate -q -ot Float32 -co TILED=YES -co COMPRESS=DEFLATE int32.tif float32_tiled.tif
gdal_translate -q -ot Int16 -srcwin 2000 400 1201 1201 int32.tif tile.tif
rm big.vrt

# 250 levels every 62 m from -9100 m, as the dialogue's answers give them.
plan=(-q -i 62 --min -9100 --max 6338)
names=("raw 32-bit model -> .bmp (the dialogue)" "Int32 GeoTIFF -> .bmp" "Int32 GeoTIFF -> .tif"
       "Int32 GeoTIFF -> .png" "Float32 GeoTIFF, tiled, DEFLATE -> .tif" "Int16 tile 1201 x 1201 -> .tif"
       "gdalinfo --version (loading GDAL)")
run_case() {
  case $1 in
    0) wall_seconds "$program" && mv images/big/iso.bmp raw.bmp ;;
    1) wall_seconds "$program" "${plan[@]}" int32.tif out_bmp.bmp ;;
    2) wall_seconds "$program" "${plan[@]}" int32.tif out_tif.tif ;;
    3) wall_seconds "$program" "${plan[@]}" int32.tif out_png.png ;;
    4) wall_seconds "$program" "${plan[@]}" float32_tiled.tif float.tif ;;
    5) wall_seconds "$program" -q -i 62 tile.tif tile_out.tif ;;
    6) wall_seconds gdalinfo --version ;;
  esac
}
declare -A times
for ((r = 0; r < rounds; r++)); do
  for k in "${!names[@]}"; do times[$k]+="$(run_case "$k" | tail -n 1) "; done
done
cmp -s raw.bmp out_bmp.bmp || echo "warning: the GeoTIFF's bitmap differs from the raw path's" >&2

median_of() { printf '%s\n' ${times[$1]} | median; }
echo "model: $lines x $columns = $cells cells; 250 levels every 62 m from -9100 m; medians of $rounds interleaved rounds"
printf '| %s | %s | %s |\n|---|---|---|\n' "input -> output" "median" "x the raw path"
raw=$(median_of 0)
loading=$(median_of 6)
for k in "${!names[@]}"; do
  m=$(median_of "$k")
  if [ "$k" = 5 ]; then
    ratio=$(awk -v m="$m" -v g="$loading" 'BEGIN { printf "(%.2f x gdalinfo --version)", m / g }')
  elif [ "$k" = 6 ]; then
    ratio=""
  else
    ratio=$(awk -v m="$m" -v r="$raw" 'BEGIN { printf "%.2f", m / r }')
  fi
  printf '| %s | %.0f ms | %s |\n' "${names[$k]}" "$(awk -v m="$m" 'BEGIN { print m * 1000 }')" "$ratio"
done
echo "each: ${times[*]}" | tr -s ' ' | fold -w 160 >&2

if [ "$contour_runs" -gt 0 ]; then
  theirs=()
  for ((r = 0; r < contour_runs; r++)); do
    rm -rf gdal && mkdir gdal
    theirs+=("$(timed gdal_contour -q -i 62 -off -9100 int32.tif gdal/contours.shp | cut -d' ' -f1)")
  done
  contour=$(printf '%s\n' "${theirs[@]}" | median)
  awk -v c="$contour" -v t="$(median_of 2)" -v n="$contour_runs" \
    'BEGIN { printf "gdal_contour -i 62 -off -9100 on the Int32 GeoTIFF, median of %d: %.2f s = %.0f x our .tif path\n", n, c, c / t }'
fi
