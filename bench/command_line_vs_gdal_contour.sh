#!/usr/bin/env bash
# Times the command line on a GeoTIFF of a large real model against
# gdal_contour with the same levels, run back to back, median of several runs.
#
# Usage: bench/command_line_vs_gdal_contour.sh ETOPO20.asc [runs]
#   ETOPO20.asc  a real ASCII grid (e.g. ../shared/data/images/dev/etopo20.asc),
#                resampled up 4x in each direction (about 9.3 million cells)
#                and written as a GeoTIFF of 32-bit integers
#   runs         runs of each program (default 5)
# Needs: the build in ./build with GDAL, gdal-bin, and /usr/bin/time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
source "$top/bench/lib.sh"
source_grid=$(realpath "$1")
runs=${2:-5}
cmake --build "$build" -j2 --target isolines_trace_4 make_big_model >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/bench/make_big_model" "$source_grid" 4 big
lines=$(sed -n 1p big_m4.txt)
columns=$(sed -n 2p big_m4.txt)
# The raw model described for GDAL, then copied into a GeoTIFF.
cat > big.vrt <<VRT
<VRTDataset rasterXSize="$columns" rasterYSize="$lines">
  <VRTRasterBand dataType="Int32" band="1" subClass="VRTRawRasterBand">
    <SourceFilename relativetoVRT="1">big_m4.raw</SourceFilename>
    <PixelOffset>4</PixelOffset><LineOffset>$((columns * 4))</LineOffset><ByteOrder>LSB</ByteOrder>
  </VRTRasterBand>
</VRTDataset>
VRT
gdal_translate -q -a_srs EPSG:4326 -a_ullr -180 90 180 -90 big.vrt big.tif
rm big.asc big.vrt

# 250 levels every 62 m from -9100 m.
interval=62

ours=() ; theirs=()
for ((r = 0; r < runs; r++)); do
  ours+=("$(timed "$build/isolines_trace_4" -q -i "$interval" --min -9100 --max 6338 big.tif contours.bmp | cut -d' ' -f1)")
  rm -rf gdal && mkdir gdal
  theirs+=("$(timed gdal_contour -q -i "$interval" -off -9100 big.tif gdal/contours.shp | cut -d' ' -f1)")
done
levels=$(wc -l < contours_tab.txt)
ours_median=$(printf '%s\n' "${ours[@]}" | median)
theirs_median=$(printf '%s\n' "${theirs[@]}" | median)
echo "model: $lines x $columns = $((lines * columns)) cells, GeoTIFF Int32; $levels levels every $interval m from -9100 m"
echo "isolines_trace_4 -i $interval ... big.tif contours.bmp, median of $runs: $ours_median s   [${ours[*]}]"
echo "gdal_contour -i $interval -off -9100 big.tif, median of $runs: $theirs_median s   [${theirs[*]}]"
awk -v o="$ours_median" -v t="$theirs_median" 'BEGIN { printf "gdal_contour / isolines_trace_4 = %.1f\n", t / o }'
