#!/usr/bin/env bash
# Runs the Windows build under Wine: its unit tests, then end-to-end dialogues
# of tests/e2e/cases with the models under the Wine drive's c:\images\dem\.
# Transcripts must equal the expected files of the Linux tests except where a
# path is printed (c:\images\dem\ there, images/dem/ in the expected files);
# result, descriptor and table files must be the same bytes. Then what is
# particular to Windows files: names that differ in case only, the result
# lock, a folder named outside ASCII, an earlier result held open.
#
#   tests/windows/run-under-wine.sh [BUILD_DIR]     (default: build-windows)
#
# A throw-away Wine prefix is made for the run and removed afterwards.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build-windows}" && pwd)"
program="$build/isolines_trace_4.exe"
cases="$root/tests/e2e/cases"
models="$root/tests/data/models"

export WINEPREFIX="$(mktemp -d /tmp/isolines-wine-XXXXXX)"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser engine to install
work="$WINEPREFIX/work"
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT

start=$(date +%s)
wineboot -i >/dev/null 2>&1
wineserver -p  # one server for every run below, instead of one each
echo "Wine prefix ready in $(( $(date +%s) - start )) s"

folder="$WINEPREFIX/drive_c/images/dem"
mkdir -p "$work"
failures=0

fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# ---- Unit tests -------------------------------------------------------------

if wine "$build/tests/unit_tests.exe" --gtest_brief=1 >"$work/unit.out" 2>&1; then
    echo "PASS: unit tests ($(grep -o 'PASSED.*' "$work/unit.out" | head -1))"
else
    cat "$work/unit.out"
    fail "unit tests"
fi

# ---- Dialogues --------------------------------------------------------------

# A 7 x 7 model: altitude 10 in the middle 3 x 3 cells, 50 elsewhere.
block_model='ncols 7\nnrows 7\nxllcorner 0\nyllcorner 0\ncellsize 25\nNODATA_value -9999\n'
block_model+='50 50 50 50 50 50 50\n50 50 50 50 50 50 50\n50 50 10 10 10 50 50\n50 50 10 10 10 50 50\n'
block_model+='50 50 10 10 10 50 50\n50 50 50 50 50 50 50\n50 50 50 50 50 50 50\n'

# Empties the model folder and puts the named models in it (block.asc is the
# model above, the others come from tests/data/models).
fresh_folder()
{
    rm -rf "$folder"
    mkdir -p "$folder"
    local name
    for name in "$@"; do
        if [ "$name" = block.asc ]; then
            printf '%b' "$block_model" >"$folder/block.asc"
        else
            cp "$models/$name" "$folder/$name"
        fi
    done
}

# Runs the program with ANSWERS (printf %b escapes) on standard input.
run_program()
{
    printf '%b' "$1" >"$work/stdin"
    (cd "$work" && wine "$program" <stdin >stdout 2>stderr)
    status=$?
}

# The transcript with the Windows model folder written as the Linux tests
# expect it.
linux_paths() { sed 's#c:\\images\\dem\\#images/dem/#g' "$1"; }

# check CASE STATUS ANSWERS [RESULT...]: one dialogue of tests/e2e/cases/CASE.
check()
{
    local name="$1" expected_status="$2" answers="$3" result
    shift 3
    run_program "$answers"
    local before=$failures
    [ "$status" = "$expected_status" ] || fail "$name: exit status $status, expected $expected_status"
    for stream in stdout stderr; do
        if ! linux_paths "$work/$stream" | cmp -s - "$cases/$name/$stream.txt"; then
            fail "$name: $stream differs from $cases/$name/$stream.txt"
            linux_paths "$work/$stream" | diff - "$cases/$name/$stream.txt" | head -10
        fi
    done
    for result in "$@"; do
        cmp -s "$folder/$result" "$cases/$name/$result" || fail "$name: $result differs from the expected file"
    done
    [ "$failures" = "$before" ] && echo "PASS: $name"
}

# same_content FILE TEXT: FILE still holds TEXT.
same_content()
{
    [ "$(cat "$folder/$1" 2>/dev/null)" = "$2" ] || fail "$1 does not hold \"$2\" any more"
}

# No private file of a run (temporary file, backup, journal, lock) is left.
no_private_files()
{
    if ls -A "$folder" | grep -q '^\.it4'; then fail "$1: private files left: $(ls -A "$folder" | tr '\n' ' ')"; fi
}

fresh_folder himalaya.asc
check himalaya_bitmap 0 'dem himalaya 1 contours 1\n-5000 1 500 6000 1\n\n' contours.bmp contours_tab.txt

fresh_folder himalaya_m4.raw himalaya_m4.txt
check himalaya_raw_decimal_table 0 'dem himalaya 0 1 1 iso 0\n-500 0 25.5 600 0\n' iso.raw iso.txt iso_tab.txt

fresh_folder land_m2.raw land_m2.txt
check plan_redefined 0 'dem land 0 0 0 iso 0\n0 1 1 6229\n5\n1\n100 2 1 0 400 5731\n9 2\n' iso.raw iso.txt iso_tab.txt
check top_level 0 'dem land 0 0 0 iso 0\n731 1 1000 7731 3\n' iso.raw iso.txt iso_tab.txt
check millimeter_table 0 'dem land 0 0 2 iso 0\n12.34 1 7.5 40 4\n' iso.raw iso.txt iso_tab.txt
check menus_ask_again 1 'dem land 2 -1 x 0 5 0 4 -2 0 iso 3 -1 0\n'

fresh_folder himalaya_m4.raw
check raw32_new_descriptor 1 'dem himalaya 0 1 120 160 37000 1 iso 0\n' himalaya_m4.txt
check raw32_descriptor_read 1 'dem himalaya 0 1 1 iso 0\n'

fresh_folder block.asc
check diamond_raw 0 'dem block 1 iso 0\n20 1 10 20 1\nk' iso.raw iso.txt iso_tab.txt
check diamond_bitmap 0 'dem block 1 iso 1\n20 0 10 20 0\n' iso.bmp iso_tab.txt
check missing_model 1 'dem nothere 1\nk'
check closed_input 1 ''

# The Exit choice leaves earlier results as they were.
fresh_folder block.asc
printf 'earlier image' >"$folder/iso.raw"
printf 'earlier descriptor' >"$folder/iso.txt"
printf 'earlier table' >"$folder/iso_tab.txt"
check exit_choice 0 'dem block 1 iso 0\n0 1 0.1 100 0\n'
same_content iso.raw 'earlier image'
same_content iso.txt 'earlier descriptor'
same_content iso_tab.txt 'earlier table'
no_private_files exit_choice

# Windows names ignore case: a result that is the model under another
# spelling is refused, and the model stays as it was.
fresh_folder land_m2.raw land_m2.txt
for result in LAND_M2 '..\dem\Land_m2'; do
    run_program "dem land 0 0 0 $result 0\n"
    spelled="c:\\images\\dem\\$result.raw"
    before=$failures
    [ "$status" = 1 ] || fail "result $result: exit status $status, expected 1"
    grep -qF "the result $spelled is the model file c:\\images\\dem\\land_m2.raw" "$work/stderr" ||
        fail "result $result: not refused as the model: $(cat "$work/stderr")"
    cmp -s "$folder/land_m2.raw" "$models/land_m2.raw" || fail "result $result: the model was changed"
    [ "$(ls -A "$folder" | tr '\n' ' ')" = "land_m2.raw land_m2.txt " ] || fail "result $result: left $(ls -A "$folder")"
    [ "$failures" = "$before" ] && echo "PASS: result $result refused as the model"
done

# One run at a time writes a result: a second run on the result of a run
# still in its dialogue is refused; a file left by a process that has ended is
# removed by the next run.
fresh_folder block.asc
printf 'left' >"$folder/.it4-99999r0badcafe-0.tmp"
rm -f "$work/answers"
mkfifo "$work/answers"
(cd "$work" && wine "$program" <answers >first.out 2>&1) &
first=$!
exec 3>"$work/answers"
printf 'dem block 1 iso 0\n' >&3
for _ in $(seq 200); do grep -q 'Dynamic scale' "$work/first.out" 2>/dev/null && break; sleep 0.1; done
before=$failures
run_program 'dem block 1 iso 0\n20 1 10 20 1\n'
[ "$status" = 1 ] || fail "second run: exit status $status, expected 1"
grep -qF 'c:\images\dem\iso: another run is writing this result now' "$work/stderr" ||
    fail "second run: not refused for the lock: $(cat "$work/stderr")"
run_program 'dem block 1 other 0\n20 1 10 20 1\n'
[ "$status" = 0 ] || fail "another result name: exit status $status, expected 0: $(cat "$work/stderr")"
[ -e "$folder/.it4-99999r0badcafe-0.tmp" ] && fail "the file of an ended process was not removed"
exec 3>&-  # the first run's answers end: it ends too
wait "$first"
no_private_files "one run per result"
[ "$failures" = "$before" ] && echo "PASS: one run per result; files of ended runs removed"

# A folder name outside ASCII, typed as UTF-8: the model is found and the
# results are written beside it, the same bytes as in the folder dem.
fresh_folder block.asc
accented="$WINEPREFIX/drive_c/images/Zürich"
rm -rf "$accented"
mv "$folder" "$accented"
run_program 'Zürich block 1 iso 0\n20 1 10 20 1\nk'
before=$failures
if [ "$status" = 0 ] && grep -qF 'saving raster image c:\images\Zürich\iso.raw' "$work/stdout"; then
    for result in iso.raw iso.txt iso_tab.txt; do
        cmp -s "$accented/$result" "$cases/diamond_raw/$result" || fail "folder Zürich: $result differs"
    done
    [ "$failures" = "$before" ] && echo "PASS: folder name outside ASCII"
else
    fail "folder Zürich: exit status $status: $(cat "$work/stdout" "$work/stderr" | tail -3)"
fi
rm -rf "$accented"

# An earlier bitmap held open by another program cannot be replaced: the run
# fails naming it, and the earlier bitmap and table stay as they were.
fresh_folder block.asc
printf 'earlier bitmap' >"$folder/iso.bmp"
printf 'earlier table' >"$folder/iso_tab.txt"
wine "$build/tests/hold_file.exe" 'c:\images\dem\iso.bmp' 60 >"$work/holder" 2>&1 &
holder=$!
for _ in $(seq 100); do grep -q held "$work/holder" && break; sleep 0.1; done
if grep -q held "$work/holder"; then
    before=$failures
    run_program 'dem block 1 iso 1\n20 0 10 20 0\n'
    [ "$status" = 1 ] || fail "locked result: exit status $status, expected 1"
    grep -qF 'c:\images\dem\iso.bmp' "$work/stderr" ||
        fail "locked result: the message does not name the bitmap: $(cat "$work/stderr")"
    same_content iso.bmp 'earlier bitmap'
    same_content iso_tab.txt 'earlier table'
    no_private_files "locked result"
    [ "$failures" = "$before" ] && echo "PASS: locked earlier result survives:$(tr '\t\n' '  ' <"$work/stderr")"
else
    fail "locked result: the holder could not open the file: $(cat "$work/holder")"
fi
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null

echo "Wine tests took $(( $(date +%s) - start )) s, $failures failure(s)"
[ "$failures" = 0 ]
