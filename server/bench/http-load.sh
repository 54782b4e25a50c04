#!/usr/bin/env bash
# Requests per second and latency of quillo-cloud under 64 keep-alive connections (wrk),
# for GET /api/native/me (a token check: one read and one write of the database) next
# to GET /api/version (no database: the ceiling of the HTTP layer), on SQLite and, when
# QUILLO_BENCH_PG is a postgresql:// URL, on PostgreSQL. Build in Release first:
#   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel
#   server/bench/http-load.sh build-rel/server/quillo-cloud
set -euo pipefail
binary=${1:?usage: http-load.sh PATH/TO/quillo-cloud}
seconds=${QUILLO_BENCH_SECONDS:-10}
command -v wrk >/dev/null || { echo "wrk is needed (apt-get install wrk)" >&2; exit 1; }
tmp=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$tmp"' EXIT

run() { # name database
  local name=$1 db=$2 port=18790 token
  export QUILLO_CLOUD_DATABASE=$db
  echo "a long enough password" | "$binary" user add "bench@example.com" >/dev/null 2>&1 || true
  token=$("$binary" token issue bench@example.com --device bench)
  "$binary" serve --listen "127.0.0.1:$port" 2>/dev/null >/dev/null &
  server=$!
  for _ in $(seq 50); do curl -sf "http://127.0.0.1:$port/healthz" >/dev/null && break; sleep 0.1; done
  for path in /api/version /api/native/me; do
    printf '%-11s %-16s ' "$name" "$path"
    wrk -t 2 -c 64 -d "${seconds}s" --latency -H "Authorization: Bearer $token" "http://127.0.0.1:$port$path" |
      awk '/Requests\/sec/ {rps=$2} /^ +50%/ {p50=$2} /^ +99%/ {p99=$2} END {printf "%10s req/s  p50 %8s  p99 %8s\n", rps, p50, p99}'
  done
  kill "$server"; wait "$server" 2>/dev/null || true; server=""
}

run sqlite "$tmp/bench.sqlite"
if [ -n "${QUILLO_BENCH_PG:-}" ]; then run postgresql "$QUILLO_BENCH_PG"; fi
