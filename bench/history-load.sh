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

best() {  # best of 5 runs of "$@": "<wall s> <cpu s>" (cpu = user + sys; on a busy
          # machine it is the steadier figure)
  local best_wall="" best_cpu=""
  for _ in 1 2 3 4 5; do
    /usr/bin/time -o "$work/time" -f "%e %U %S" "$@" >/dev/null 2>&1
    read -r wall user sys < <(tail -1 "$work/time")
    local cpu
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN{printf "%.2f", u + s}')
    if [[ -z "$best_wall" ]] || awk "BEGIN{exit !($wall < $best_wall)}"; then best_wall=$wall; fi
    if [[ -z "$best_cpu" ]] || awk "BEGIN{exit !($cpu < $best_cpu)}"; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}

read -r kesto_s kesto_cpu < <(best "$build/bin/kesto" history --json --data-dir "$work")
read -r python_s python_cpu < <(best python3 -c \
  'import plistlib,sys; plistlib.load(open(sys.argv[1],"rb"))' "$file")
/usr/bin/time -o "$work/time" -v "$build/bin/kesto" history --json --data-dir "$work" >/dev/null 2>&1
peak_kb=$(awk -F': ' '/Maximum resident set size/{print $2}' "$work/time")

echo "history file: $size bytes (1000 records x 100 events)"
echo "kesto history --json: ${kesto_s} s wall, ${kesto_cpu} s cpu (best of 5)"
echo "python3 plistlib.load: ${python_s} s wall, ${python_cpu} s cpu (best of 5)"
awk -v k="$kesto_s" -v p="$python_s" -v kc="$kesto_cpu" -v pc="$python_cpu" \
  'BEGIN{printf "speed-up over plistlib: %.1fx wall, %.1fx cpu\n", p/k, pc/kc}'
awk -v m="$peak_kb" -v s="$size" \
  'BEGIN{printf "kesto peak memory: %d KB = %.2fx the file size\n", m, m*1024/s}'
if [[ -x "$build/bin/kesto_history_bench" ]]; then
  "$build/bin/kesto_history_bench" --benchmark_filter=Register1000x100 2>/dev/null | grep -E "^Register1000x100"
fi
