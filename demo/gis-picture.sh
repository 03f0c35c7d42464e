#!/usr/bin/env bash
# Makes docs/himalaya_gis.png, the README's picture of a result as a GIS shows
# it: the contour lines of the Himalaya crop every 500 m, index contours every
# 2000 m, in distinct colours on their transparent background, laid over a
# hillshade of the same model made by GDAL (gdaldem) and composed with Pillow.
# Needs the build in ./build, gdal-bin and python3-pil.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top/tests/data/models/himalaya.asc" "$work/"
cd "$work"
"$top/build/isolines_trace_4" -q -i 500 --min -5000 --max 6000 --palette distinct --index-every 4 \
  himalaya.asc contours.png
gdaldem hillshade -q -z 30 -compute_edges -of PNG himalaya.asc hillshade.png
/usr/bin/python3 - "$top/docs/himalaya_gis.png" <<'PYTHON'
import sys
from PIL import Image
shade = Image.open("hillshade.png").convert("RGBA")
lines = Image.open("contours.png").convert("RGBA")  # the background is transparent
picture = Image.alpha_composite(shade, lines).resize((shade.width * 3, shade.height * 3), Image.NEAREST)
picture.convert("RGB").save(sys.argv[1], optimize=True)
PYTHON
echo "$top/docs/himalaya_gis.png"
