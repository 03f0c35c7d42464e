# Shared by the benchmark scripts (sourced, not run).

# Median of the numbers on standard input, one per line.
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# Makes images/big/big_m4.raw and its descriptor (raw 32-bit, about 9.3
# million cells: the grid $1 resampled up 4x), the same grid as
# images/big/big.asc, and answers.txt, the dialogue's answers for the raw
# model: meters, a bitmap result, 250 levels every 62 m from -9100 m.
# Needs $build (the build folder). Prints the number of cells.
make_big_raw_model() {
  mkdir -p images/big
  "$build/bench/make_big_model" "$1" 4 images/big/big > /dev/null
  printf 'big\nbig\n0\n1\n0\niso\n1\n-9100\n1\n62\n6338\n1\n\n' > answers.txt
  echo $(( $(sed -n 1p images/big/big_m4.txt) * $(sed -n 2p images/big/big_m4.txt) ))
}

# Runs a command with answers.txt on its input; prints its wall time in
# seconds to the millisecond; stops the script when the command fails.
wall_seconds() {
  local start end
  start=$EPOCHREALTIME
  "$@" < answers.txt > /dev/null 2> run.err || { echo "failed: $*" >&2; cat run.err >&2; kill $$; }
  end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

# Runs a command; prints "seconds peak_kilobytes" (from /usr/bin/time, to the
# hundredth of a second); stops the script when the command fails.
timed() {
  local line
  line=$(/usr/bin/time -f "%e %M %x" "$@" 2>&1 >/dev/null | tail -n 1)
  [ "${line##* }" = 0 ] || { echo "failed: $* ($line)" >&2; kill $$; }
  echo "${line% *}"
}
