#!/usr/bin/env bash
# Scan figures, each beside its target (the scan looks off the 512-byte grid
# too, as by default; the same scan kept to the slots is timed beside it):
#   - a 2 GiB backup in the page cache against `cat FILE > /dev/null`
#   - the same with the recovery log
#   - a backup of 1,000,000 small files: entries per second beyond reading,
#     resident memory per entry, and reading its snapshot back
# Usage: bench/scan_bench.sh [BUILD_DIR] [SCRATCH_DIR]
# Needs bc, and GNU time (/usr/bin/time) for the memory figure.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
scratch="${2:-$(mktemp -d)}"
tarvik="$build/cli/tarvik"
mkbkf="$build/tools/mkbkf"
mkdir -p "$scratch"
trap 'rm -f "$scratch"/bench-*' EXIT

# Best of three wall-clock runs of a command, in seconds.
best() {
  local best=""
  for _ in 1 2 3; do
    local start end t
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

row() {  # what value unit op target
  local ok
  ok=$(echo "$2 $4 $5" | bc -l)
  printf '%-62s %10.3f %-10s target %s %-8s %s\n' "$1" "$2" "$3" "$4" "$5" "$([ "$ok" = 1 ] && echo ok || echo MISSED)"
}

big="$scratch/bench-big.bkf"
echo "making a 2 GiB backup (2,048 files of 1 MiB)..."
"$mkbkf" "$big" --generate files=2048,size=1M,sets=2,dirs=32,seed=1 >/dev/null
cat "$big" >/dev/null
t_cat=$(best sh -c "cat '$big' > /dev/null")
t_scan=$(best "$tarvik" scan "$big" -o "$scratch/bench-big.ORMBKF")
t_slots=$(best "$tarvik" scan --aligned-only "$big" -o "$scratch/bench-big.ORMBKF")
t_log=$(best "$tarvik" scan "$big" -o "$scratch/bench-big.ORMBKF" --log "$scratch/bench-big.log")
rm -f "$scratch/bench-big.log"
printf 'baseline cat: %.3f s   scan -o: %.3f s   slots only: %.3f s   scan -o --log: %.3f s\n' "$t_cat" "$t_scan" "$t_slots" "$t_log"
row "2 GiB scan time / cat time" "$(echo "$t_scan / $t_cat" | bc -l)" "x" "<=" 1.25
row "2 GiB scan kept to the slots / cat time" "$(echo "$t_slots / $t_cat" | bc -l)" "x" "<=" 1.25
row "2 GiB scan with --log / without" "$(echo "$t_log / $t_scan" | bc -l)" "x" "<=" 3
rm -f "$big" "$scratch/bench-big.ORMBKF"

small="$scratch/bench-small.bkf"
echo "making a backup of 1,000,000 small files..."
"$mkbkf" "$small" --generate files=1000000,size=64,sets=4,dirs=50000,seed=2 >/dev/null
cat "$small" >/dev/null
t_cat=$(best sh -c "cat '$small' > /dev/null")
t_scan=$(best "$tarvik" scan "$small" -o "$scratch/bench-small.ORMBKF")
t_slots=$(best "$tarvik" scan --aligned-only "$small" -o "$scratch/bench-small.ORMBKF")
rss_kb=$(/usr/bin/time -f %M "$tarvik" scan "$small" -o "$scratch/bench-small.ORMBKF" 2>&1 >/dev/null | tail -1)
base_kb=$(/usr/bin/time -f %M "$tarvik" --version 2>&1 >/dev/null | tail -1)
t_list=$(best sh -c "'$tarvik' list '$scratch/bench-small.ORMBKF' --format tsv > /dev/null")
printf 'baseline cat: %.3f s   scan -o: %.3f s (%.2fx cat)   list snapshot: %.3f s   peak memory: %d KiB (%d KiB without a catalogue)\n' \
  "$t_cat" "$t_scan" "$(echo "$t_scan / $t_cat" | bc -l)" "$t_list" "$rss_kb" "$base_kb"
row "1M files: entries per second beyond reading the file" "$(echo "1000000 / ($t_scan - $t_cat)" | bc -l)" "entries/s" ">=" 1000000
row "1M files, kept to the slots: entries per second beyond reading" "$(echo "1000000 / ($t_slots - $t_cat)" | bc -l)" "entries/s" ">=" 1000000
row "1M files: peak resident memory per entry" "$(echo "($rss_kb - $base_kb) * 1024 / 1000000" | bc -l)" "bytes" "<=" 150
row "1M files: scan time / snapshot listing time" "$(echo "$t_scan / $t_list" | bc -l)" "x" ">=" 5

# A backup larger than a 32-bit address space: 20 GiB of holes, then one file.
sparse="$scratch/bench-sparse.bkf"
printf 'set "Sparse"\nfile "holes.bin" size=20G zeros\nfile "after.txt" text="found behind 20 GiB"\n' > "$scratch/bench-sparse.mkbkf"
"$mkbkf" "$sparse" --script "$scratch/bench-sparse.mkbkf" >/dev/null
rm -f "$scratch/bench-sparse.mkbkf"
start=$(date +%s.%N)
last=$("$tarvik" list "$sparse" --format tsv 2>/dev/null | tail -1 | cut -f1,3,4)
end=$(date +%s.%N)
t_sparse=$(echo "$end - $start" | bc -l)
start=$(date +%s.%N)
cat "$sparse" > /dev/null
end=$(date +%s.%N)
printf 'a 20 GiB sparse backup scanned in %.3f s (baseline cat, which reads the holes: %.3f s); its last entry: %s\n' \
  "$t_sparse" "$(echo "$end - $start" | bc -l)" "$last"
row "20 GiB sparse backup (its holes are not read): scan time" "$t_sparse" "s" "<" 2
rm -f "$sparse"
