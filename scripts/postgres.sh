# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test command: a private PostgreSQL server for the shared library's tests. Its data, its
# socket and its log live in one temporary folder; it listens on no network address, only on a Unix
# socket there, and is no system service. initdb refuses root, so as root the server runs as the
# packaged "postgres" user (or "nobody"), which owns the folder. Fails (status 1) when no server came up.
start_postgres() {
  local bin=/usr/lib/postgresql/15/bin
  if [[ ! -x $bin/initdb ]]; then
    echo "postgres.sh: PostgreSQL 15 is not installed" >&2
    return 1
  fi
  export TONFOLIO_PG_DIR=$(mktemp -d)
  local as=()
  if [[ $(id -u) -eq 0 ]]; then
    local user=postgres
    id "$user" >/dev/null 2>&1 || user=nobody
    chown "$user" "$TONFOLIO_PG_DIR"
    as=(runuser -u "$user" --)
  fi
  chmod 0755 "$TONFOLIO_PG_DIR"
  if ! "${as[@]}" "$bin/initdb" -D "$TONFOLIO_PG_DIR/data" -U tonfolio --auth=trust -E UTF8 --locale=C \
      >"$TONFOLIO_PG_DIR/initdb.log" 2>&1; then
    echo "postgres.sh: initdb failed; its log:" >&2
    cat "$TONFOLIO_PG_DIR/initdb.log" >&2
    return 1
  fi
  # In its configuration, so that a test that stops and starts it gets the same server back.
  printf "listen_addresses = ''\nunix_socket_directories = '%s'\nfsync = off\n" "$TONFOLIO_PG_DIR" \
    >>"$TONFOLIO_PG_DIR/data/postgresql.conf"
  export TONFOLIO_PG_CTL="${as[*]} $bin/pg_ctl -D $TONFOLIO_PG_DIR/data -l $TONFOLIO_PG_DIR/log"
  $TONFOLIO_PG_CTL -w -t 60 start >/dev/null
  if ! "$bin/createdb" -h "$TONFOLIO_PG_DIR" -U tonfolio tonfolio 2>>"$TONFOLIO_PG_DIR/log"; then
    echo "postgres.sh: the server did not start; its log:" >&2
    cat "$TONFOLIO_PG_DIR/log" >&2
    return 1
  fi
  export TONFOLIO_TEST_PG_URL="postgresql:///tonfolio?host=$TONFOLIO_PG_DIR&user=tonfolio"
}
stop_postgres() {
  if [[ -n "${TONFOLIO_PG_DIR:-}" ]]; then
    [[ -n "${TONFOLIO_PG_CTL:-}" ]] && $TONFOLIO_PG_CTL -m fast stop >/dev/null 2>&1
    rm -rf "$TONFOLIO_PG_DIR"
  fi
  unset TONFOLIO_PG_DIR TONFOLIO_PG_CTL TONFOLIO_TEST_PG_URL
  return 0
}
