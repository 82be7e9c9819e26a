#!/usr/bin/env bash
# What an always-on station costs: CPU (user + system, as a share of one
# core) and resident memory of `kesto serve --station --sensor sim` at
# 480×360, 10 frames a second, over SECONDS of real time, with no page and
# then with one page following the event stream (what a browser's tab
# costs the server: a snapshot after every change).
#
#   bench/station-figures.sh [KESTO_BINARY] [SECONDS]   (default 600)
set -euo pipefail
kesto=${1:-build/release/bin/kesto}
seconds=${2:-600}
ticks=$(getconf CLK_TCK)

measure() {  # $1: "none" | "page"
    local data port pid follower=""
    data=$(mktemp -d)
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    "$kesto" serve --station --sensor sim:rate=0.5,seed=1,size=480x360 --listen "127.0.0.1:$port" \
        --data-dir "$data" >"$data/out.log" 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        curl -s -o /dev/null "http://127.0.0.1:$port/" && break
        sleep 0.1
    done
    if [ "$1" = page ]; then
        curl -sN "http://127.0.0.1:$port/events" >/dev/null &
        follower=$!
    fi
    sleep 5  # start-up is not the steady cost
    read -r -a s0 < <(cut -d' ' -f14,15 "/proc/$pid/stat")
    local rss0
    rss0=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    sleep "$seconds"
    read -r -a s1 < <(cut -d' ' -f14,15 "/proc/$pid/stat")
    local rss1
    rss1=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    local used=$(((s1[0] + s1[1]) - (s0[0] + s0[1])))
    [ -n "$follower" ] && kill "$follower"
    kill -TERM "$pid"
    wait "$pid" || true
    awk -v u="$used" -v t="$ticks" -v s="$seconds" -v a="$rss0" -v b="$rss1" -v p="$1" \
        'BEGIN { printf "page=%s  cpu=%.2f%% of one core over %d s  rss start=%d kB end=%d kB\n", p, 100*u/t/s, s, a, b }'
    grep -c "Station: saved" "$data/out.log" | sed 's/^/  intervals saved: /'
    rm -rf "$data"
}

measure none
measure page
