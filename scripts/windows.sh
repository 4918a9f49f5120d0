#!/usr/bin/env bash
# Cross-builds the core, tarvik, mkbkf and the core's and command line's tests
# for 64-bit Windows (MinGW-w64, static), runs the tests under Wine, and packs
# tarvik-<version>-win64.zip.
#   bash scripts/windows.sh [BUILD_DIR [WINEPREFIX]]
# Defaults: build/win64 and a fresh prefix that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/win64}"
jobs="$(nproc)"

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DBKF_BUILD_GUI=OFF -DBKF_BUILD_BENCH=OFF -DBKF_GTEST_SOURCE_DIR=/usr/src/googletest >/dev/null
cmake --build "$build" -j"$jobs"

# A scratch Wine prefix, made once, quietly; no Mono or Gecko is wanted.
own_prefix=""
if [ -n "${2:-}" ]; then
  export WINEPREFIX="$2"
else
  own_prefix="$(mktemp -d)"
  export WINEPREFIX="$own_prefix/wine"
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  if [ -n "$own_prefix" ]; then rm -rf "$own_prefix"; fi
}
trap cleanup EXIT
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1

started=$SECONDS
(cd "$build" && ctest -j"$jobs" --output-on-failure --no-tests=error)
echo "Windows tests under Wine: $((SECONDS - started)) s"

(cd "$build" && cpack -G ZIP >/dev/null)
zip_file="$(ls "$build"/tarvik-*-win64.zip)"
cmake -E tar tf "$zip_file" | grep -q '/tarvik.exe$' || { echo "tarvik.exe missing from $zip_file" >&2; exit 1; }
echo "Package: $zip_file"
