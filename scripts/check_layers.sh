#!/usr/bin/env bash
# Checks every project #include against the layers: a folder may include its
# own headers and those of the layers below it, never one above or beside.
#
#   base <- engine <- catalogue <- search, save   the core (standard C++ only)
#   core <- archive (libarchive), mount (libfuse)  writers beside the core
#   core <- widgets <- app (+ archive)            the desktop program (Qt)
#   core <- archive, mount <- cli                 the command line
#   core <- tools                                 the backup writer
#
# tests/, bench/ and fuzz/ may include anything. With --graph, prints how
# many includes go from each folder to each other one instead.
set -euo pipefail
cd "$(dirname "$0")/.."

core="base engine catalogue search save"
declare -A allowed=(
  [base]="base"
  [engine]="base engine"
  [catalogue]="base engine catalogue"
  [search]="base engine catalogue search"
  [save]="base engine catalogue save"
  [widgets]="$core widgets"
  [app]="$core widgets archive app"
  [archive]="$core archive"
  [mount]="$core mount"
  [cli]="$core archive mount cli"
  [tools]="$core tools"
)

files=$(git ls-files -- '*.h' '*.cpp')

if [ "${1:-}" = "--graph" ]; then
  for f in $files; do
    from=${f%%/*}
    grep -o '^#include "[a-z_]*/' "$f" | sed "s|^#include \"||; s|/\$||; s|^|$from -> |" || true
  done | awk '{split($0, p, " -> "); if (p[1] != p[2]) print}' | sort | uniq -c
  exit 0
fi

bad=0
for f in $files; do
  from=${f%%/*}
  [ -n "${allowed[$from]+set}" ] || continue
  while IFS=: read -r line target; do
    to=${target%%/*}
    case " ${allowed[$from]} " in
      *" $to "*) ;;
      *) echo "$f:$line: $from may not include $target"; bad=1 ;;
    esac
  done < <(grep -n -o '^#include "[^"]*"' "$f" | sed 's|#include "||; s|"$||')
  # The core is standard C++: no Qt, no system headers outside its platform files.
  case " $core " in
    *" $from "*)
      if grep -n -E '^#include <(Q[A-Za-z]*|qt[a-z]*)' "$f"; then
        echo "$f: the core may not include Qt"; bad=1
      fi ;;
  esac
done
if [ "$bad" -ne 0 ]; then
  echo "check_layers: includes against the layers (see the top of scripts/check_layers.sh)" >&2
  exit 1
fi
echo "check_layers: every include goes downward"
