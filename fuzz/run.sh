#!/bin/sh
# Builds every fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a while, one after the
# other.
#
# Usage: fuzz/run.sh [seconds]       (seconds per target, default 10)
#
# Environment:
#   BUILD_DIR     build folder (default: build-fuzz at the top of the repository)
#   FUZZ_TARGETS  the targets to run (default: all of them), e.g. "fuzz_answers"
#
# The seeds of fuzz/corpus/<target> are copied into
# $BUILD_DIR/corpus-work/<target>, where the new inputs a run finds are kept
# (so the repository's corpus stays as committed, and later runs start from
# what earlier runs found). A crash, leak, timeout or out-of-memory input is
# saved in $BUILD_DIR/artifacts/<target>/ and makes the script exit with 1
# after all targets have run. Logs are in $BUILD_DIR/logs/<target>.log.
set -u

seconds=${1:-10}
case $seconds in
    '' | *[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;;
esac

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-fuzz}
mkdir -p "$build"
build=$(cd "$build" && pwd)   # absolute: the dialogue target changes its working folder
all_targets="fuzz_ascii_reader fuzz_chargebmp fuzz_descriptor fuzz_answers fuzz_dialogue fuzz_command_line fuzz_engine"
targets=${FUZZ_TARGETS:-$all_targets}

# Longest input per target: enough for a small model, bitmap or dialogue.
max_len_of() {
    case $1 in
        fuzz_ascii_reader) echo 16384 ;;
        fuzz_chargebmp) echo 8192 ;;
        fuzz_descriptor) echo 4096 ;;
        fuzz_answers) echo 4096 ;;
        fuzz_dialogue) echo 4096 ;;
        *) echo 4096 ;;
    esac
}

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -DISOLINES_FUZZ=ON -DISOLINES_TESTS=OFF \
        -DISOLINES_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets || exit 1

failed=""
for target in $targets; do
    corpus=$build/corpus-work/$target
    artifacts=$build/artifacts/$target
    scratch=$build/tmp/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus" "$artifacts" "$scratch" "$build/logs"
    cp -R "$repo/fuzz/corpus/$target/." "$corpus/"

    echo "== $target: $seconds s"
    TMPDIR=$scratch "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="$(max_len_of "$target")" -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$corpus" >"$log" 2>&1
    status=$?
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added)' "$log"
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1
    rm -rf "$scratch"
    if [ "$status" -ne 0 ]; then
        echo "!! $target failed (status $status): see $log and $artifacts/" >&2
        grep -E 'ERROR|SUMMARY|check failed' "$log" | head -n 5 >&2
        failed="$failed $target"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzzing found problems in:$failed" >&2
    exit 1
fi
echo "no problem found"
