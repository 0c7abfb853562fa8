# Sourced by the benchmarks: a throw-away PostgreSQL server in a folder of
# their own, from Debian's binaries (initdb and pg_ctl by full path), run as
# the postgres user when run as root, listening on a Unix socket in that
# folder only. Every commit still waits for the disk (PostgreSQL's default),
# as in a real deployment.
#   url=$(postgres_start DIR)   # DIR must not exist; prints a connection string
#   postgres_stop DIR
postgres_bin=/usr/lib/postgresql/15/bin

postgres_as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=postgres --regid=postgres --init-groups "$@"
  else
    "$@"
  fi
}

postgres_start() {
  local dir=$1
  mkdir -p "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir"
    chmod o+x "$(dirname "$dir")" # the server's user reaches its folder
  fi
  postgres_as_owner "$postgres_bin/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --locale=C \
    >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; return 1; }
  cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
max_connections = 400
shared_buffers = 256MB
# A deployment that records every image hit writes much WAL: room for it
# (no checkpoint every few seconds, no new WAL files zeroed while stamps
# wait for theirs to reach the disk).
max_wal_size = 4GB
wal_init_zero = off
wal_buffers = 64MB
CONF
  postgres_as_owner "$postgres_bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
    { cat "$dir/server.log" >&2; return 1; }
  echo "postgresql:///postgres?host=$dir&user=postgres"
}

postgres_stop() {
  [ -d "$1" ] || return 0
  local dir=$1
  [ -f "$dir/data/postmaster.pid" ] &&
    postgres_as_owner "$postgres_bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1
  rm -rf "$dir"
}
