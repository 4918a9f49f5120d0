#!/usr/bin/env bash
# Builds and runs every test twice: a normal build with g++ (whose tests also
# make the Debian package and check it), and a build with
# clang under the address and undefined-behaviour sanitizers, and the core's
# threaded parts under the thread sanitizer; checks the layers; cross-builds the
# core, tarvik and their tests for Windows and runs those tests under Wine,
# then packs the Windows zip; then runs each fuzz target for a short while.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/config"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"

echo "== layers and formatting"
bash scripts/check_layers.sh
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

echo "== normal build (g++)"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/test -j"$jobs"
(cd build/test && ctest -j"$jobs" --output-on-failure --no-tests=error)

echo "== Windows build (MinGW-w64) under Wine"
bash scripts/windows.sh build/win64 "$scratch/wine"

echo "== sanitizer build (clang, address + undefined)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DBKF_SANITIZE=ON -DBKF_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/asan && ctest -j"$jobs" --output-on-failure --no-tests=error)

echo "== thread sanitizer (clang): the core's threaded parts"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DBKF_TSAN=ON -DBKF_BUILD_GUI=OFF -DBKF_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target base_tests engine_tests search_tests
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
(cd build/tsan && ctest -j"$jobs" --output-on-failure --no-tests=error -R '^(BatchQueue\.|ScanJob\.|SearchJob\.|DisplacedBlocks\.FoundTheSame)')

echo "== fuzz targets, 20 s each"
bash scripts/fuzz.sh 20
