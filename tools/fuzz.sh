#!/usr/bin/env bash
# Runs the libFuzzer harnesses for the file readers.
#
#   tools/fuzz.sh [seconds] [harness...]
#
# seconds defaults to 60; harness is read_3ds_mesh, read_view_model or
# load_bmp_texture (with or without the fuzz_ prefix), all three when none is named. Builds them with clang in
# build-fuzz/, runs each in turn on a scratch copy of its corpus (fuzz/corpus/<kind>/,
# the test files of its format and the kept regressions; new corpus entries stay
# out of the repository), and writes any crash, timeout, leak or out-of-memory
# input to fuzz/regressions/<kind>/, where the replay tests pick it up. Prints each
# run's final stats and a summary line per harness; exits 1 when any harness found
# something, 2 on a usage or build failure.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-fuzz"
source "$root/tools/lib/clean_up.sh"
shopt -s nullglob

seconds=60
case "${1:-}" in
  '' | *[!0-9]*) ;;
  *) seconds=$1; shift ;;
esac
[ "$#" -gt 0 ] || set -- read_3ds_mesh read_view_model load_bmp_texture

for name in "$@"; do
  case "${name#fuzz_}" in
    read_3ds_mesh | read_view_model | load_bmp_texture) ;;
    *)
      echo "fuzz.sh: unknown harness: $name (read_3ds_mesh, read_view_model, load_bmp_texture)" >&2
      exit 2
      ;;
  esac
done

cmake -S "$root" -B "$build" -DDICE_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null || exit 2
for name in "$@"; do
  cmake --build "$build" -j2 --target "fuzz_${name#fuzz_}" >/dev/null || {
    echo "fuzz.sh: building fuzz_${name#fuzz_} failed" >&2
    exit 2
  }
done

scratch_folder scratch "${TMPDIR:-/tmp}/dice_fuzz_run.XXXXXX"

found=0
summary=""
for name in "$@"; do
  harness=${name#fuzz_}
  case "$harness" in
    read_3ds_mesh | read_view_model) kind=3ds inputs=("$root"/{fuzz/corpus,tests}/3ds/*.3[dD][sS]) ;;
    load_bmp_texture) kind=bmp inputs=("$root"/fuzz/corpus/bmp/*.bmp "$root"/tests/bmp/*/*.bmp) ;;
  esac
  corpus="$scratch/$kind"
  mkdir -p "$corpus" "$root/fuzz/regressions/$kind"
  cp "${inputs[@]}" "$root/fuzz/regressions/$kind"/* "$corpus/"
  before=$(ls -A "$root/fuzz/regressions/$kind" | wc -l)
  log="$scratch/$harness.log"

  echo "== fuzz_$harness: $seconds s on $(ls "$corpus" | wc -l) corpus files"
  # One process per harness, one harness at a time: the machine has two cores
  # and the build or the other engineers' work needs the second.
  status=0
  "$build/fuzz/fuzz_$harness" "$corpus" -max_total_time="$seconds" -timeout=5 \
    -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$root/fuzz/regressions/$kind/" >"$log" 2>&1 || status=$?
  after=$(ls -A "$root/fuzz/regressions/$kind" | wc -l)

  # The last status line carries the coverage and corpus figures.
  done_line=$(grep -E '^#[0-9]+' "$log" | tail -n 1) || true
  grep -E '^stat::' "$log" || true
  echo "$done_line"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(echo "$done_line" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$done_line" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
  corp=$(echo "$done_line" | sed -n 's/.* corp: \([^ ]*\).*/\1/p')
  if [ "$status" -ne 0 ] || [ "$after" -ne "$before" ]; then
    found=1
    verdict="FOUND something (exit $status); artifacts in fuzz/regressions/$kind/"
    # The sanitizer's report and the reproducer's name are at the end.
    echo "-- last lines of the fuzzer's output:"
    tail -n 60 "$log"
  else
    verdict="nothing found"
  fi
  summary="${summary}fuzz_$harness: ${execs:-?} executions, ${rate:-?} exec/s, corpus ${corp:-?} (units/bytes), cov ${cov:-?}, ft ${ft:-?}: $verdict
"
done

echo "== summary"
printf '%s' "$summary"
exit "$found"
