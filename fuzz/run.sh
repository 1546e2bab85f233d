#!/usr/bin/env bash
# Runs the format fuzz targets built in build-fuzz (with fuzz_corpus), a few at a time at low
# priority, each for SECONDS (default 600) on its seed corpus. A target not built yet is waited for.
# Findings land in build-fuzz/findings/<format>/, each run's log in build-fuzz/findings/<format>.log;
# the executions and findings per target are printed.
#   fuzz/run.sh [SECONDS] [FORMAT...]
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds="${1:-600}"
shift || true
parallel="${VASTREL_FUZZ_PARALLEL:-3}"
build="$PWD/build-fuzz" # absolute: the targets run in a game root of their own
if [[ ! -d $build/corpus ]]; then
  echo "no seed corpus: cmake --build $build --target fuzz_corpus, and the fuzz_<format> targets, first" >&2
  exit 1
fi
if (($# == 0)); then set -- $("$build/bin/fuzz_formats" | cut -d' ' -f1); fi
mkdir -p "$build/findings"
run() {
  local format="$1" out="$build/findings/$1"
  mkdir -p "$out" "$build/corpus-work/$format"
  if [[ ! -x $build/bin/fuzz_$format ]]; then
    while [[ ! -x $build/bin/fuzz_$format ]]; do sleep 10; done
    sleep 30 # the linker may still be writing it
  fi
  nice -n 19 "$build/bin/fuzz_$format" "$build/corpus-work/$format" "$build/corpus/$format" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=262144 -artifact_prefix="$out/" \
    -print_final_stats=1 >"$out.log" 2>&1
  local runs crashes
  runs="$(grep -E '^stat::number_of_executed_units' "$out.log" | awk '{print $2}')"
  crashes="$(find "$out" -type f | wc -l)"
  printf '%-18s %10s executions, %s findings\n' "$format" "${runs:-?}" "$crashes"
}
for format in "$@"; do
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n; done
  run "$format" &
done
wait
