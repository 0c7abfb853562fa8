#!/usr/bin/env bash
# The tracking service under load, beside nginx serving the same GIF on the
# same machine. Builds what it needs (release preset), runs everything on
# 127.0.0.1 in a temporary folder, and prints:
#   image_hits_vs_nginx: R   our image hits per second (each one recorded) / nginx's
#   stamps_per_second: N     stamps issued per second, requests of 10 recipients from 50 senders
#   p99_stamp_ms: T          the stamp requests' 99th percentile while image hits run beside them
# and the same three figures on PostgreSQL, labelled "_pg", on a throw-away server of its own.
# DURATION (seconds, default 10) and CONNECTIONS (default 64) tune the runs;
# BUILD_DIR takes the programs from another build folder (see programs.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/postgres_server.sh
# shellcheck source=programs.sh
. bench/programs.sh

duration=${DURATION:-10}
connections=${CONNECTIONS:-64}
senders=50
recipients=10

for tool in wrk nginx curl; do
  command -v "$tool" >/dev/null || { echo "service_load.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

build=$(bench_build mailwarden service_load_requests)
mailwarden=$build/service/mailwarden
requests_tool=$build/bench/service_load/service_load_requests

tmp=$(mktemp -d /tmp/mailwarden-load.XXXXXX)
# nginx's workers may run as another user: they read the GIF, nothing else.
chmod 755 "$tmp"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  postgres_stop "$tmp/pg"
  rm -rf "$tmp"
}
trap cleanup EXIT

# The GIF the service serves, byte for byte, as nginx's static file.
gif=$tmp/www/p/b01/wrenna.php
mkdir -p "$(dirname "$gif")" "$tmp/nginx"
printf 'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b' >"$gif"
chmod -R a+rX "$tmp/www"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# requests/second of a wrk run's output.
rate() { sed -n 's/^Requests\/sec: *\([0-9.]*\).*/\1/p'; }

start_nginx() {
  local port=$1
  cat >"$tmp/nginx/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $tmp/nginx; proxy_temp_path $tmp/nginx; fastcgi_temp_path $tmp/nginx;
  uwsgi_temp_path $tmp/nginx; scgi_temp_path $tmp/nginx;
  server {
    listen 127.0.0.1:$port;
    root $tmp/www;
    location / { default_type image/gif; }
  }
}
CONF
  nginx -c "$tmp/nginx/nginx.conf" -p "$tmp/nginx" &
  pids+=($!)
  for _ in $(seq 50); do curl -sf "http://127.0.0.1:$port/p/b01/wrenna.php" >/dev/null && return; sleep 0.1; done
  echo "service_load.sh: nginx did not start" >&2; cat "$tmp/nginx/error.log" >&2; exit 1
}

# Starts mailwarden on the database URL; sets service_port.
start_mailwarden() {
  local url=$1 log=$tmp/mailwarden-$2.log
  for i in $(seq 0 $((senders - 1))); do
    "$mailwarden" account add "sender$i@example.com" --credit 2000000000 --database "$url" >/dev/null
  done
  # The limits are counted as always, at levels this load stays under.
  "$mailwarden" serve --listen 127.0.0.1:0 --database "$url" --limit-per-address 100000000 \
    --limit-per-ip 1000000000 >"$log.out" 2>/dev/null &
  pids+=($!)
  service_pid=$!
  service_port=""
  for _ in $(seq 100); do
    service_port=$(sed -n 's|^mailwarden listening on http://127\.0\.0\.1:\([0-9]*\)/|\1|p' "$log.out")
    [ -n "$service_port" ] && return
    sleep 0.1
  done
  echo "service_load.sh: mailwarden did not start" >&2; exit 1
}

stop_mailwarden() {
  kill -TERM "$service_pid"
  wait "$service_pid" 2>/dev/null || true
}

# The three figures for one database; suffix "" or "_pg".
measure() {
  local url=$1 suffix=$2 nginx_rate=$3
  start_mailwarden "$url" "${suffix:-sqlite}"
  local base=http://127.0.0.1:$service_port
  # A stamp issued beforehand, so every image hit is one recorded event.
  local first stamp
  first=$(head -1 "$tmp/stamps.txt")
  stamp=$(curl -sf "$base$first" | sed -n 's/^qo;\([^ ]*\).*/\1/p')
  [ -n "$stamp" ] || { echo "service_load.sh: no stamp from the service" >&2; exit 1; }

  local ours
  ours=$(wrk -t2 -c"$connections" -d"${duration}s" "$base/p/b01/wrenna.php?img=1&$stamp" | rate)

  local stamps_out
  stamps_out=$(STAMP_REQUESTS=$tmp/stamps.txt wrk -t2 -c"$connections" -d"${duration}s" \
    -s bench/service_load/stamps.lua "$base/")
  local stamp_rate
  stamp_rate=$(echo "$stamps_out" | rate)
  echo "$stamps_out" | grep -q '^stamp_refused: 0$' ||
    { echo "service_load.sh: stamp requests were refused:" >&2; echo "$stamps_out" >&2; exit 1; }

  # Stamps with image hits at full speed beside them: the stamps' 99th percentile.
  wrk -t1 -c"$connections" -d"$((duration + 2))s" "$base/p/b01/wrenna.php?img=1&$stamp" >/dev/null &
  local hits=$!
  sleep 1
  local p99
  p99=$(STAMP_REQUESTS=$tmp/stamps.txt wrk -t1 -c8 -d"${duration}s" --latency -s bench/service_load/stamps.lua \
    "$base/" | awk '$1 == "99%" { v = $2; if (v ~ /us$/) { sub(/us$/, "", v); v /= 1000 } else if (v ~ /ms$/) { sub(/ms$/, "", v) } else if (v ~ /s$/) { sub(/s$/, "", v); v *= 1000 } print v }')
  wait "$hits"
  curl -sf "$base/metrics" | grep -E '^mailwarden_(event_queue_depth|database_errors_total|events_dropped_total|events_written_total|requests_total\{path="/p/b01/wrenna.php")' |
    sed "s/^/# $suffix /" || true
  stop_mailwarden

  awk -v ours="$ours" -v theirs="$nginx_rate" -v s="$suffix" 'BEGIN { printf "image_hits_vs_nginx%s: %.2f   (%d/s vs nginx %d/s)\n", s, ours / theirs, ours, theirs }'
  awk -v r="$stamp_rate" -v n="$recipients" -v s="$suffix" 'BEGIN { printf "stamps_per_second%s: %d   (%d requests/s of %d recipients)\n", s, r * n, r, n }'
  echo "p99_stamp_ms$suffix: $p99"
}

# PostgreSQL: a throw-away server in the temporary folder (initdb and pg_ctl
# as the postgres user, a Unix socket in its folder only, PostgreSQL's own
# durability settings); prints the URL of its empty database.
pg_url() {
  postgres_start "$tmp/pg"
}

"$requests_tool" 20000 "$senders" "$recipients" >"$tmp/stamps.txt"
nginx_port=$(free_port)
start_nginx "$nginx_port"
nginx_rate=$(wrk -t2 -c"$connections" -d"${duration}s" "http://127.0.0.1:$nginx_port/p/b01/wrenna.php?img=1&x" | rate)

measure "sqlite:$tmp/mailwarden.db" "" "$nginx_rate"
url=$(pg_url)
if [ -n "$url" ]; then
  measure "$url" "_pg" "$nginx_rate"
else
  echo "service_load.sh: PostgreSQL did not start" >&2
  exit 1
fi
