#!/usr/bin/env bash
# The collection server's figures, on both engines: uploads per second from
# 8 loopback clients (SQLite, then PostgreSQL), a kill -9 during 8 clients'
# uploads (both), and map queries over 1,000,000 measurements (PostgreSQL).
# PostgreSQL is a throw-away cluster of this machine's postgresql-15 in a
# temporary folder, flushing to disk as a real one does (fsync on). Takes a
# few minutes; not part of scripts/test.
# Usage: bench/collect-figures.sh [build directory, default build/release]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
load="$build/bin/kesto_collect_load"
kesto="$build/bin/kesto"
work="$(mktemp -d)"
state="$work/postgres.state"
cleanup() {
  tests/collect/postgres-cluster stop "$state" || true
  rm -rf "$work"
}
trap cleanup EXIT
tests/collect/postgres-cluster start "$state" -c fsync=on -c shared_buffers=256MB >/dev/null
socket="$(cat "$state")"
pg() { psql -q "postgresql://kesto@/postgres?host=$socket" -c "$1"; }
echo "machine: $(nproc) cores, shared with other work while this ran (load $(cut -d' ' -f1-3 /proc/loadavg))"

echo "== uploads, 8 clients x 1000"
"$load" uploads "$kesto" "sqlite:$work/uploads.sqlite" 8 1000
pg "CREATE DATABASE uploads"
"$load" uploads "$kesto" "postgresql://kesto@/uploads?host=$socket" 8 1000

echo "== kill -9 during 8 clients' uploads"
"$load" kill "$kesto" "sqlite:$work/kill.sqlite" 8 5
pg "CREATE DATABASE killed"
"$load" kill "$kesto" "postgresql://kesto@/killed?host=$socket" 8 5

echo "== map queries over 1,000,000 measurements (PostgreSQL)"
pg "CREATE DATABASE million"
"$load" query "$kesto" "postgresql://kesto@/million?host=$socket" 200
