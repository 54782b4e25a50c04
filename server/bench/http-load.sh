#!/usr/bin/env bash
# Requests per second and latency of quillo-cloud under 64 keep-alive connections (wrk),
# in one run next to the HTTP layer's own fixed reply (quillo_bench_bare_http, the
# ceiling): GET /api/version (no database) and GET /api/native/me (a token check) on
# SQLite and, when QUILLO_BENCH_PG is a postgresql:// URL, on PostgreSQL; then the
# latency of /healthz while four clients sign up without pause. Build in Release first:
#   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel
#   server/bench/http-load.sh build-rel/server
# A second folder (an older build's server/) is measured the same way, after the first,
# so that both sets of figures come from one run on one machine; it needs a database of
# its own on PostgreSQL (QUILLO_BENCH_PG_OLDER), as an older build refuses a newer schema.
set -euo pipefail
folders=("$@")
[ ${#folders[@]} -ge 1 ] || { echo "usage: http-load.sh BUILD/server [OLDER-BUILD/server]" >&2; exit 2; }
seconds=${QUILLO_BENCH_SECONDS:-10}
command -v wrk >/dev/null || { echo "wrk is needed (apt-get install wrk)" >&2; exit 1; }
tmp=$(mktemp -d)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$tmp"' EXIT
port=18790

wait_for() { for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port$1" && return 0; sleep 0.1; done; return 1; }
stop() { kill "$server"; wait "$server" 2>/dev/null || true; server=""; }

# label path [header]: one line of figures.
load() {
  local label=$1 path=$2 header=${3:-X-None: 1}
  printf '%-34s ' "$label"
  wrk -t 2 -c 64 -d "${seconds}s" --latency -H "$header" "http://127.0.0.1:$port$path" |
    awk '/Requests\/sec/ {rps=$2} /^ +50%/ {p50=$2} /^ +99%/ {p99=$2}
         END {printf "%10.0f req/s  p50 %8s  p99 %8s\n", rps, p50, p99}'
}

bare() {
  "$1/quillo_bench_bare_http" "$port" >/dev/null 2>&1 &
  server=$!
  wait_for /
  load "bare HTTP layer (fixed reply)" /
  stop
}

service() { # folder name database
  local binary=$1/quillo-cloud name=$2 token
  export QUILLO_CLOUD_DATABASE=$3
  echo "a long enough password" | "$binary" user add "bench@example.com" >/dev/null 2>&1 || true
  token=$("$binary" token issue bench@example.com --device bench)
  "$binary" serve --listen "127.0.0.1:$port" >/dev/null 2>&1 &
  server=$!
  wait_for /healthz
  load "$name /api/version" /api/version
  load "$name /api/native/me" /api/native/me "Authorization: Bearer $token"
  stop
}

# /healthz from one client while four sign up as fast as they can (each sign-up hashes
# a password); behind a "proxy" so that every sign-up comes from an address of its own.
health_under_signups() {
  local binary=$1/quillo-cloud csrf cookie
  export QUILLO_CLOUD_DATABASE=$tmp/signups-$RANDOM.sqlite
  "$binary" serve --listen "127.0.0.1:$port" --behind-proxy >/dev/null 2>&1 &
  server=$!
  wait_for /healthz
  curl -s -c "$tmp/jar" "http://127.0.0.1:$port/signup" >"$tmp/form.html"
  csrf=$(sed -n 's/.*name="csrf" value="\([^"]*\)".*/\1/p' "$tmp/form.html" | head -1)
  cookie=$(awk 'NF >= 7 && (!/^#/ || /^#HttpOnly_/) {printf "%s=%s; ", $6, $7}' "$tmp/jar")
  cat >"$tmp/signup.lua" <<LUA
local n = 0
local threads = 0
local id
function setup(thread)
  threads = threads + 1
  thread:set("tid", threads)
end
function init(args)
  id = tostring(os.time()) .. "t" .. tostring(tid)
  math.randomseed(os.time() + tid)
end
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Cookie"] = "$cookie"
request = function()
  n = n + 1
  wrk.headers["X-Forwarded-For"] = "10." .. math.random(0, 255) .. "." .. math.random(0, 255) .. "." .. math.random(1, 254)
  local body = "email=s" .. id .. "-" .. n .. "%40example.com&password=a%20long%20enough%20password&csrf=$csrf"
  return wrk.format(nil, "/signup", nil, body)
end
LUA
  wrk -t 2 -c 4 -d "$((seconds + 2))s" -s "$tmp/signup.lua" "http://127.0.0.1:$port" >"$tmp/signups.txt" &
  local signups=$!
  sleep 1
  printf '%-34s ' "/healthz under 4 sign-up clients"
  wrk -t 1 -c 1 -d "${seconds}s" --latency "http://127.0.0.1:$port/healthz" |
    awk '/Requests\/sec/ {rps=$2} /^ +50%/ {p50=$2} /^ +99%/ {p99=$2}
         END {printf "%10.0f req/s  p50 %8s  p99 %8s\n", rps, p50, p99}'
  wait "$signups"
  printf '%-34s %10.0f sign-ups/s (%s answered other than 3xx)\n' "  (the sign-ups meanwhile)" \
    "$(awk '/Requests\/sec/ {print $2}' "$tmp/signups.txt")" \
    "$(awk '/Non-2xx or 3xx/ {print $5; f=1} END {if (!f) print 0}' "$tmp/signups.txt")"
  stop
}

pg=("${QUILLO_BENCH_PG:-}" "${QUILLO_BENCH_PG_OLDER:-}")
for i in "${!folders[@]}"; do
  folder=${folders[$i]}
  echo "== $folder"
  if [ -x "$folder/quillo_bench_bare_http" ]; then bare "$folder"; fi
  service "$folder" sqlite "$tmp/bench-$RANDOM.sqlite"
  if [ -n "${pg[$i]:-}" ]; then service "$folder" postgresql "${pg[$i]}"; fi
  health_under_signups "$folder"
done
