#!/usr/bin/env bash
# Runs the command line many times, each killed by SIGTERM at a random moment
# while GDAL has worker threads, and checks after the next run in the folder
# that the result set is wholly the earlier one or wholly the new one.
#
# Usage: tests/stress/sigterm_sets.sh PROGRAM MODEL.tif RUNS
#   PROGRAM    build/isolines_trace_4
#   MODEL.tif  a GeoTIFF (e.g. gdal_translate of ../shared/data/images/dev/etopo60.asc)
#   RUNS       how many killed runs (400)
# Prints one line per broken set and a summary; exits 1 when a set broke.
set -uo pipefail
program=$(realpath "$1")
model=$(realpath "$2")
runs=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$model" dem.tif

# The two sets a run may leave, by the plan it was given.
declare -A expected
for interval in 400 500; do
    mkdir "ref$interval"
    "$program" -q -i "$interval" dem.tif "ref$interval/th.tif" || exit 1
    expected[$interval]="$(md5sum < "ref$interval/th.tif") $(md5sum < "ref$interval/th_tab.txt")"
done
cp ref400/th.tif ref400/th_tab.txt .
current=400
# How long a whole run takes, to spread the kills over it.
start=$(date +%s%N)
"$program" -q -i 500 dem.tif probe.tif
span_us=$(( ($(date +%s%N) - start) / 1000 + 20000 ))
rm -f probe.tif probe_tab.txt

broken=0 killed=0 complete=0
for ((k = 0; k < runs; k++)); do
    next=$((current == 400 ? 500 : 400))
    GDAL_NUM_THREADS=ALL_CPUS "$program" -q -i "$next" dem.tif th.tif 2>/dev/null &
    pid=$!
    sleep "$(printf '0.%06d' $((RANDOM * 32768 % span_us)))"
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    status=$?
    [ "$status" -eq 143 ] && killed=$((killed + 1))
    [ "$status" -eq 0 ] && complete=$((complete + 1))
    "$program" -q -i 500 dem.tif other.tif >/dev/null 2>&1 || { echo "run $k: the next run failed"; broken=$((broken + 1)); }
    now="$(md5sum < th.tif) $(md5sum < th_tab.txt)"
    if [ "$now" = "${expected[$next]}" ]; then
        current=$next
    elif [ "$now" != "${expected[$current]}" ]; then
        echo "run $k: a broken set (status $status)"
        broken=$((broken + 1))
    fi
    if ls -A | grep -q '^\.it4'; then
        echo "run $k: private files left: $(ls -A | grep '^\.it4' | tr '\n' ' ')"
        broken=$((broken + 1))
    fi
done
echo "$runs runs: $killed ended by the signal, $complete completed, $broken broken sets"
[ "$broken" -eq 0 ]
