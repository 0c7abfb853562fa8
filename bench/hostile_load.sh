#!/usr/bin/env bash
# The tracking service under attack. While normal traffic runs from
# 127.0.0.1 (image hits and stamp requests of 50 senders, as
# bench/service_load.sh makes them), one client at 127.0.0.2 sends the worst
# it can at full speed (bench/hostile_load/hostile.py): worst-case certified
# uploads, image hits with 12 KB User-Agents on one stamp, failed sign-ins
# for a victim, credit queries for random 7 KB addresses, idle connections
# beyond the caps. Prints, for SQLite and then PostgreSQL ("_pg"):
#   hostile_legit_p99_ms: T      the normal stamp requests' 99th percentile
#   hostile_db_growth_mb: G      the database's growth over the run
#   hostile_victim_signin: ok|refused   the victim's right password from 127.0.0.3 at the end
# Goals: T <= 100, G <= 50 for a 60-second run, ok.
# The normal stamp requests come at a set pace (8 connections, STAMP_PAUSE_MS
# between requests, default 40: at most 200 requests, 2,000 stamps a second),
# so the growth is the attacker's plus a fixed share, not whatever this
# machine's speed lets the normal traffic write; STAMP_PAUSE_MS=0 sends them
# as fast as the service answers.
# DURATION (seconds, default 60) sets the run; HOSTILE_ATTACKS picks some attacks only (see hostile.py); BUILD_DIR takes the programs
# from another build folder (see programs.sh); MAILWARDEN runs another
# mailwarden program (an older build, for comparison) with this script's tools.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/postgres_server.sh
# shellcheck source=programs.sh
. bench/programs.sh

duration=${DURATION:-60}
senders=50
recipients=10
victim=victim@example.com
password="the victim's own password"

for tool in wrk curl python3 psql; do
  command -v "$tool" >/dev/null || { echo "hostile_load.sh: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

build=$(bench_build mailwarden service_load_requests hostile_requests)
mailwarden=${MAILWARDEN:-$build/service/mailwarden}
requests_tool=$build/bench/service_load/service_load_requests
hostile_tool=$build/bench/hostile_load/hostile_requests

tmp=$(mktemp -d /tmp/mailwarden-hostile.XXXXXX)
chmod 755 "$tmp"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  postgres_stop "$tmp/pg"
  rm -rf "$tmp"
}
trap cleanup EXIT

# Starts mailwarden on the database URL with the accounts; sets service_port.
start_mailwarden() {
  local url=$1 log=$tmp/mailwarden-$2.log
  for i in $(seq 0 $((senders - 1))); do
    "$mailwarden" account add "sender$i@example.com" --credit 2000000000 --database "$url" >/dev/null
  done
  "$mailwarden" account add "$victim" --credit 10 --database "$url" >/dev/null
  echo "$password" | "$mailwarden" account password "$victim" --database "$url" >/dev/null
  # The add-in's limits at levels the normal load stays under; the sign-in
  # limits as shipped.
  "$mailwarden" serve --listen 127.0.0.1:0 --database "$url" --limit-per-address 100000000 \
    --limit-per-ip 1000000000 >"$log.out" 2>"$log.err" &
  pids+=($!)
  service_pid=$!
  service_port=""
  for _ in $(seq 100); do
    service_port=$(sed -n 's|^mailwarden listening on http://127\.0\.0\.1:\([0-9]*\)/|\1|p' "$log.out")
    [ -n "$service_port" ] && return
    sleep 0.1
  done
  echo "hostile_load.sh: mailwarden did not start" >&2; exit 1
}

stop_mailwarden() {
  kill -TERM "$service_pid"
  wait "$service_pid" 2>/dev/null || true
}

# The database's size in bytes: the SQLite file with its journal, or the
# PostgreSQL database.
db_bytes() {
  local url=$1
  case "$url" in
    sqlite:*) du -cb "${url#sqlite:}"* | tail -1 | cut -f1 ;;
    *) psql "$url" -Atc "SELECT pg_database_size(current_database())" ;;
  esac
}

measure() {
  local url=$1 suffix=$2
  start_mailwarden "$url" "${suffix:-sqlite}"
  local base=http://127.0.0.1:$service_port
  local first stamp
  first=$(head -1 "$tmp/stamps.txt")
  stamp=$(curl -sf "$base$first" | sed -n 's/^qo;\([^ ]*\).*/\1/p')
  [ -n "$stamp" ] || { echo "hostile_load.sh: no stamp from the service" >&2; exit 1; }
  local before
  before=$(db_bytes "$url")

  # Normal traffic: image hits on many connections, and the stamp requests measured.
  wrk -t1 -c16 -d"$((duration + 2))s" "$base/p/b01/wrenna.php?img=1&$stamp" >/dev/null &
  local hits=$!
  python3 bench/hostile_load/hostile.py "$service_port" "$duration" "$stamp" "$tmp/hostile.txt" "$victim" \
    "$password" >"$tmp/hostile$suffix.out" &
  local hostile=$!
  local stamps_out p99
  stamps_out=$(STAMP_REQUESTS=$tmp/stamps.txt STAMP_PAUSE_MS=${STAMP_PAUSE_MS:-40} wrk -t1 -c8 -d"${duration}s" --timeout 60s --latency \
    -s bench/service_load/stamps.lua "$base/")
  p99=$(echo "$stamps_out" | awk '$1 == "99%" { v = $2; if (v ~ /us$/) { sub(/us$/, "", v); v /= 1000 } else if (v ~ /ms$/) { sub(/ms$/, "", v) } else if (v ~ /s$/) { sub(/s$/, "", v); v *= 1000 } print v }')
  wait "$hostile" || true
  wait "$hits" || true
  local after
  after=$(db_bytes "$url")
  grep '^#' "$tmp/hostile$suffix.out" | sed "s/^# /# $suffix /" || true
  echo "$stamps_out" | grep -E '^stamp_refused|Requests/sec' | sed "s/^/# $suffix normal stamps: /" || true
  stop_mailwarden

  echo "hostile_legit_p99_ms$suffix: $p99"
  awk -v b="$before" -v a="$after" -v s="$suffix" 'BEGIN { printf "hostile_db_growth_mb%s: %.1f\n", s, (a - b) / 1048576 }'
  sed -n "s/^hostile_victim_signin: /hostile_victim_signin$suffix: /p" "$tmp/hostile$suffix.out"
}

"$requests_tool" 20000 "$senders" "$recipients" >"$tmp/stamps.txt"
"$hostile_tool" 300 300 >"$tmp/hostile.txt"

measure "sqlite:$tmp/mailwarden.db" ""
url=$(postgres_start "$tmp/pg") || { echo "hostile_load.sh: PostgreSQL did not start" >&2; exit 1; }
measure "$url" "_pg"
