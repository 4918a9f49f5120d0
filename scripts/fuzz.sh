#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, address and undefined-behaviour
# sanitizers) and runs each for SECONDS (default 20) from the writer's seed
# corpora. A crash leaves its input in build/fuzz/artifacts/ and fails the run.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(slots scan snapshot match output_path)

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DBKF_FUZZ=ON -DBKF_BUILD_TESTS=OFF -DBKF_BUILD_BENCH=OFF -DBKF_BUILD_GUI=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target fuzz_seeds $(printf 'fuzz_%s ' "${targets[@]}")

seeds=build/fuzz/seeds
rm -rf "$seeds"
build/fuzz/fuzz/fuzz_seeds "$seeds"
mkdir -p build/fuzz/artifacts
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$t"
  mkdir -p "$corpus"
  max_len=4096
  [ "$t" = scan ] && max_len=140000
  echo "== fuzz_$t for ${seconds} s"
  if ! build/fuzz/fuzz/fuzz_"$t" "$corpus" "$seeds/$t" -max_total_time="$seconds" -max_len="$max_len" \
      -timeout=10 -rss_limit_mb=2048 -artifact_prefix="build/fuzz/artifacts/$t-" -print_final_stats=1 \
      2>build/fuzz/"$t".log; then
    status=1
    tail -40 build/fuzz/"$t".log
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build/fuzz/"$t".log | tr '\n' ' '
  echo
done
exit $status
