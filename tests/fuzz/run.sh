#!/bin/sh
# Builds the engine's fuzz targets with clang in build-fuzz/ and runs each
# for SECONDS (default 60). New inputs that widen coverage go to
# build-fuzz/fuzz-corpus/<target>/; a crashing input is saved as
# build-fuzz/fuzz-crashes/<target>-crash-<hash>. Exits 1 when a target crashed.
#
#   tests/fuzz/run.sh [SECONDS] [TARGET...]     targets: dbf memo index expr
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"dbf memo index expr"}

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build-fuzz

# clang and its fuzzer runtime, installed when missing.
bash "$root/scripts/setup.sh" --fuzz

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVANTRELL_FUZZ=ON -DVANTRELL_GUI=OFF -DVANTRELL_TESTS=OFF -DVANTRELL_BENCH=OFF >/dev/null
for t in $targets; do
  cmake --build "$build" --target "fuzz_$t"
done

mkdir -p "$build/fuzz-crashes"
# The targets' working files, in memory when possible; removed at the end
# even for processes the fuzzer stopped.
shm=/dev/shm
[ -d "$shm" ] || shm=${TMPDIR:-/tmp}
VANTRELL_FUZZ_TMP=$(mktemp -d "$shm/vantrell-fuzz-run.XXXXXX")
export VANTRELL_FUZZ_TMP
trap 'rm -rf "$VANTRELL_FUZZ_TMP"' EXIT INT TERM
failed=""
for t in $targets; do
  corpus=$build/fuzz-corpus/$t
  mkdir -p "$corpus"
  dict=""
  [ -f "$here/$t.dict" ] && dict="-dict=$here/$t.dict"
  echo "== fuzz_$t for $seconds s"
  # The seeds are read, never written: new inputs go to the build folder.
  if ! "$build/bin/fuzz_$t" $dict -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-crashes/$t-" \
      "$corpus" "$here/corpus/$t" 2>"$build/fuzz-crashes/$t.log"; then
    failed="$failed $t"
    tail -n 40 "$build/fuzz-crashes/$t.log"
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' "$build/fuzz-crashes/$t.log" || true
  fi
done

if [ -n "$failed" ]; then
  echo "crashed:$failed (inputs in $build/fuzz-crashes/)"
  exit 1
fi
echo "no crash"
