#!/usr/bin/env bash
# Builds the program and draws the contour lines of a real elevation model
# shipped with the sources: a 120 x 160 crop of the NOAA ETOPO 20 arc-minute
# global relief (public domain) around the Himalaya and the Bay of Bengal,
# every 500 m from -5000 m to 6000 m. The answers are in demo/answers.txt.
# Then the same plan from the command line, as a PNG in distinct colours.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
echo "Checking the packages the build needs..."
"$top/scripts/install-packages.sh" $(cat "$top/scripts/build-packages.txt")
echo "Configuring the build in $build..."
cmake -S "$top" -B "$build" >/dev/null
# The first build takes a few minutes on two cores: its progress is shown.
echo "Building the program (a few minutes the first time)..."
cmake --build "$build" -j2 --target isolines_trace_4 | sed -un 's/^\[ *\([0-9]*\)%\].*/  \1% built/p' | uniq
echo "Drawing the contour lines..."
work="$build/demo"
mkdir -p "$work/images/himalaya"
cp "$top/tests/data/models/himalaya.asc" "$work/images/himalaya/"
cd "$work"
"$build/isolines_trace_4" < "$top/demo/answers.txt"
echo
echo
"$build/isolines_trace_4" -q -i 500 --min -5000 --max 6000 --palette distinct \
  images/himalaya/himalaya.asc images/himalaya/contours_distinct.png
echo "Contour image:    $work/images/himalaya/contours.bmp"
echo "Gray-tone table:  $work/images/himalaya/contours_tab.txt"
echo "In colours:       $work/images/himalaya/contours_distinct.png"
