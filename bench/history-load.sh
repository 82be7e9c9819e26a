#!/usr/bin/env bash
# Loading a long history: `kesto history --json` against python3's plistlib
# on one file of 1,000 records x 100 events (best of 5 runs each), the peak
# memory of kesto against the file's size, and the time of one registration
# (insert + atomic save of the whole history) from the benchmark program.
# Usage: bench/history-load.sh [build dir, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
file="$work/radiationHistory.txt"
python3 bench/make-history.py "$file" 1000 100
size=$(stat -c %s "$file")

best() {  # best wall time of 5 runs of "$@", in seconds
  local best=""
  for _ in 1 2 3 4 5; do
    local t
    /usr/bin/time -o "$work/time" -f "%e" "$@" >/dev/null 2>&1
    t=$(tail -1 "$work/time")
    if [[ -z "$best" ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}

kesto_s=$(best "$build/bin/kesto" history --json --data-dir "$work")
python_s=$(best python3 -c 'import plistlib,sys; plistlib.load(open(sys.argv[1],"rb"))' "$file")
/usr/bin/time -o "$work/time" -v "$build/bin/kesto" history --json --data-dir "$work" >/dev/null 2>&1
peak_kb=$(awk -F': ' '/Maximum resident set size/{print $2}' "$work/time")

echo "history file: $size bytes (1000 records x 100 events)"
echo "kesto history --json: ${kesto_s} s (best of 5)"
echo "python3 plistlib.load: ${python_s} s (best of 5)"
awk -v k="$kesto_s" -v p="$python_s" 'BEGIN{printf "speed-up over plistlib: %.1fx\n", p/k}'
awk -v m="$peak_kb" -v s="$size" \
  'BEGIN{printf "kesto peak memory: %d KB = %.2fx the file size\n", m, m*1024/s}'
if [[ -x "$build/bin/kesto_history_bench" ]]; then
  "$build/bin/kesto_history_bench" --benchmark_filter=Register1000x100 2>/dev/null | grep -E "^Register1000x100"
fi
