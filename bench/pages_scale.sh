#!/usr/bin/env bash
# The sender's pages after years of use. Fills a database with 1,000 senders,
# 1 million stamps and 10 million recipient events (through SQL, see
# pages_scale.py), starts `mailwarden serve` on it, signs in as the busiest
# sender (10,000 messages) and times, over HTTP with the session cookie, the
# messages page, an older page, a search, a message's page and the JSON view
# (ROUNDS each, default 200). Prints on stdout:
#   pages_p99_ms: T        (SQLite)
#   pages_p99_ms_pg: T     (PostgreSQL, when the program has that engine)
# and on stderr the fill time, the database's size and each page's figures.
# ENGINES="sqlite" or "postgresql" measures one of them only. MESSAGES (default
# 500000, at least 1000) sets the size: the stamps are twice as many, the
# events twenty times, the busiest sender's messages one in fifty. BUILD_DIR
# takes mailwarden from another build folder (see programs.sh).
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
rounds=${ROUNDS:-200}
messages=${MESSAGES:-500000}
password="a benchmark password"
if ! [[ "$messages" =~ ^[0-9]+$ ]] || [ "$messages" -lt 1000 ]; then
  echo "pages_scale.sh: MESSAGES must be a number of at least 1000, not '$messages'" >&2
  exit 2
fi

# shellcheck source=programs.sh
. bench/programs.sh
mailwarden=$(bench_build mailwarden)/service/mailwarden

dir=$(mktemp -d /tmp/mailwarden-pages-scale.XXXXXX)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  if [ -n "${pg_dir:-}" ]; then postgres_stop "$pg_dir" || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT

# run LABEL DATABASE ENGINE WHERE SIZE-COMMAND
run() {
  local label=$1 database=$2 engine=$3 where=$4 size=$5
  local start=$SECONDS
  "$mailwarden" account add busiest@example.com --credit 100000 --database "$database" >/dev/null
  echo "$password" | "$mailwarden" account password busiest@example.com --database "$database" >/dev/null
  python3 bench/pages_scale.py fill "$engine" "$where" "$messages"
  echo "$label: filled in $((SECONDS - start)) s, database $(eval "$size")" >&2

  "$mailwarden" serve --listen 127.0.0.1:0 --database "$database" >"$dir/serve.out" 2>"$dir/serve.err" &
  server=$!
  local url=
  for _ in $(seq 100); do
    url=$(grep -o 'http://[^ ]*' "$dir/serve.out" || true)
    [ -n "$url" ] && break
    sleep 0.1
  done
  [ -n "$url" ] || { cat "$dir/serve.err" >&2; exit 1; }
  local p99
  p99=$(python3 bench/pages_scale.py measure "${url%/}" busiest@example.com "$password" "$rounds" "$messages")
  kill "$server"
  wait "$server" 2>/dev/null || true
  server=
  echo "$p99"
}

engines=${ENGINES:-sqlite postgresql}

if [[ " $engines " == *" sqlite "* ]]; then
  sqlite_db=$dir/pages.db
  p99=$(run SQLite "sqlite:$sqlite_db" sqlite "$sqlite_db" "du -ch $sqlite_db* | tail -1 | cut -f1")
  echo "pages_p99_ms: $p99"
fi

# PostgreSQL where this build has the engine and the throw-away server script.
if [[ " $engines " == *" postgresql "* ]] && [ -f bench/postgres_server.sh ] &&
  grep -qs postgres service/store/open_store.cpp; then
  # shellcheck source=postgres_server.sh
  . bench/postgres_server.sh
  pg_dir=$dir/pg
  url=$(postgres_start "$pg_dir")
  conninfo="host=$pg_dir user=postgres dbname=postgres"
  p99=$(run PostgreSQL "$url" postgresql "$conninfo" \
    "psql -Atq '$conninfo' -c \"SELECT pg_size_pretty(pg_database_size('postgres'))\"")
  echo "pages_p99_ms_pg: $p99"
fi
