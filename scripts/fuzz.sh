#!/usr/bin/env bash
# Builds the libFuzzer targets of the file readers with clang and runs each
# for a fixed number of inputs, starting from the seed corpora in fuzz/corpus.
#   scripts/fuzz.sh                  the short run that CI makes
#   FUZZ_RUNS=-1 FUZZ_SECONDS=600 scripts/fuzz.sh   ten minutes each, by hand
# New inputs that widen coverage collect in $FUZZ_BUILD_DIR/corpus (the seeds
# stay as they are); a finding stops the run and leaves its crash-* file in
# the current folder. Each target's output is kept in $FUZZ_BUILD_DIR/logs.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-0}
targets=(hex_line_fuzz srec_line_fuzz project_file_fuzz)
declare -A runs=([hex_line_fuzz]=${FUZZ_RUNS:-500000} [srec_line_fuzz]=${FUZZ_RUNS:-500000}
                 [project_file_fuzz]=${FUZZ_RUNS:-5000})

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DORV_BUILD_FUZZ=ON \
  -DORV_BUILD_GUI=OFF -DORV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}"

# Each target's own exit status decides: one that cannot start (a seed
# folder missing, say), that finds a crash or a leak, or that ends without
# its "Done N runs" line fails the run.
mkdir -p "$build/logs"
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  log=$build/logs/$t.log
  mkdir -p "$build/corpus/$name"
  echo "== $t"
  status=0
  "$build/fuzz/$t" -runs="${runs[$t]}" -max_total_time="$seconds" -print_final_stats=1 \
    "$build/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' "$log" || true
  done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true)
  if [ "$status" -ne 0 ] || [ -z "$done_line" ]; then
    tail -n 20 "$log" >&2
    if [ "$status" -ne 0 ]; then
      echo "$t: failed with exit status $status (log: $log)" >&2
    else
      echo "$t: ended without its \"Done N runs\" line (log: $log)" >&2
    fi
    exit 1
  fi
  count=${done_line#Done }
  echo "$t: ${count%% *} runs"
done
