#!/usr/bin/env bash
# Builds the libFuzzer targets of the file readers with clang and runs each
# for a fixed number of inputs, starting from the seed corpora in fuzz/corpus.
#   scripts/fuzz.sh                  the short run that CI makes
#   FUZZ_RUNS=-1 FUZZ_SECONDS=600 scripts/fuzz.sh   ten minutes each, by hand
# New inputs that widen coverage collect in $FUZZ_BUILD_DIR/corpus (the seeds
# stay as they are); a finding stops the run and leaves its crash-* file in
# the current folder.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-0}
targets=(hex_line_fuzz srec_line_fuzz project_file_fuzz)
declare -A runs=([hex_line_fuzz]=${FUZZ_RUNS:-500000} [srec_line_fuzz]=${FUZZ_RUNS:-500000}
                 [project_file_fuzz]=${FUZZ_RUNS:-5000})

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DORV_BUILD_FUZZ=ON \
  -DORV_BUILD_GUI=OFF -DORV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}" make_project

# The project seeds are made by make_project from the record seeds.
seeds=$build/seeds/project_file
mkdir -p "$seeds"
"$build/tools/make_project" FU6811N fuzz/corpus/hex_line/short_form.hex "$seeds/small.ptv" >/dev/null
"$build/tools/make_project" FU6813P fuzz/corpus/srec_line/s1.s19 "$seeds/srec.ptv" >/dev/null

for t in "${targets[@]}"; do
  name=${t%_fuzz}
  mkdir -p "$build/corpus/$name"
  extra=()
  [ "$name" = project_file ] && extra=("$seeds")
  echo "== $t"
  "$build/fuzz/$t" -runs="${runs[$t]}" -max_total_time="$seconds" -print_final_stats=1 \
    "$build/corpus/$name" "fuzz/corpus/$name" "${extra[@]}" 2>&1 |
    grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "$t: finding, see above" >&2; exit 1; }
done
