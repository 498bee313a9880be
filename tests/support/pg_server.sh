#!/bin/sh
# A throw-away PostgreSQL 15 server for the test suite.
#
#   pg_server.sh start DIR   initialises a cluster in DIR/data and starts it on
#                            127.0.0.1 at a free port (unix socket in DIR), then
#                            writes its address to DIR/server.env
#   pg_server.sh stop DIR    stops it (immediately) and removes DIR/data
#   pg_server.sh restart DIR [fast|immediate]
#                            stops it (fast: connections ended cleanly;
#                            immediate: as if the machine stopped, recovered
#                            from the log at the start) and starts it again
#                            on the same port with the same settings
#
# When the server binaries are missing (PG_BIN, default
# /usr/lib/postgresql/15/bin) or the server does not start, DIR/server.env
# says "skip: <reason>" and the PostgreSQL forms of the tests skip. Run as
# root, the server runs as the "postgres" user (it refuses root). The server
# does not sync to disk unless PG_FSYNC=on (benchmarks set it).
set -u
action=$1
dir=$2
bin=${PG_BIN:-/usr/lib/postgresql/15/bin}
env_file=$dir/server.env

as_server() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

skip() {
  echo "skip: $*" >"$env_file"
  echo "PostgreSQL tests will be skipped: $*"
  exit 0
}

case $action in
start)
  if [ -f "$dir/data/postmaster.pid" ]; then as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1; fi
  rm -rf "$dir"
  mkdir -p "$dir" || exit 1
  [ -x "$bin/initdb" ] && [ -x "$bin/pg_ctl" ] || skip "PostgreSQL 15 server programs not found in $bin (install postgresql-15)"
  if [ "$(id -u)" = 0 ]; then
    id postgres >/dev/null 2>&1 || skip "running as root and there is no postgres user to run the server"
    chown postgres "$dir"
  fi
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])') ||
    skip "no free port found"
  as_server "$bin/initdb" -D "$dir/data" -U bktest --auth=trust --locale=C -E SQL_ASCII >"$dir/initdb.log" 2>&1 ||
    skip "initdb failed (see $dir/initdb.log)"
  # fsync off for tests: the server is thrown away; programs killed in tests
  # do not take the server with them.
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=${PG_FSYNC:-off} -c max_connections=300 -c shared_buffers=32MB" \
    start >/dev/null || skip "the server did not start (see $dir/server.log)"
  echo "postgresql://bktest@127.0.0.1:$port" >"$env_file"
  echo "PostgreSQL test server on 127.0.0.1:$port (data in $dir/data)"
  ;;
stop)
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null
  fi
  rm -rf "$dir/data"
  ;;
restart)
  mode=${3:-fast}
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -m "$mode" -w -t 60 restart >/dev/null ||
    { echo "the server did not restart (see $dir/server.log)" >&2; exit 1; }
  ;;
*)
  echo "usage: $0 start|stop|restart DIR [fast|immediate]" >&2
  exit 2
  ;;
esac
