# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test command: a private PostgreSQL server for the shared library's tests. Its data, its
# socket and its log live in one temporary folder; it listens on a Unix socket there and, for the tests
# of TLS, on a free port of the loopback address only, with a self-signed certificate made there
# (TONFOLIO_TEST_PG_TLS_URL; none without openssl). It is no system service. initdb refuses root, so as
# root the server runs as the packaged "postgres" user (or "nobody"), which owns the folder. Fails
# (status 1) when no server came up.
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
  local port=
  if command -v openssl >/dev/null && make_pg_certificates "${user:-}"; then
    port=$(free_port)
    printf "listen_addresses = '127.0.0.1'\nport = %s\nssl = on\nssl_cert_file = '%s'\nssl_key_file = '%s'\n" \
      "$port" "$TONFOLIO_PG_DIR/tls/server.crt" "$TONFOLIO_PG_DIR/tls/server.key" >>"$TONFOLIO_PG_DIR/data/postgresql.conf"
  fi
  export TONFOLIO_PG_CTL="${as[*]} $bin/pg_ctl -D $TONFOLIO_PG_DIR/data -l $TONFOLIO_PG_DIR/log"
  $TONFOLIO_PG_CTL -w -t 60 start >/dev/null
  if ! "$bin/createdb" -h "$TONFOLIO_PG_DIR" ${port:+-p $port} -U tonfolio tonfolio 2>>"$TONFOLIO_PG_DIR/log"; then
    echo "postgres.sh: the server did not start; its log:" >&2
    cat "$TONFOLIO_PG_DIR/log" >&2
    return 1
  fi
  # The socket's name carries the port.
  export TONFOLIO_TEST_PG_URL="postgresql:///tonfolio?host=$TONFOLIO_PG_DIR&user=tonfolio${port:+&port=$port}"
  if [[ -n $port ]]; then
    export TONFOLIO_TEST_PG_TLS_URL="postgresql://localhost:$port/tonfolio?user=tonfolio"
  fi
}
# A self-signed certificate for "localhost" (the server's own root), and another root that signed nothing
# of it, in $TONFOLIO_PG_DIR/tls; the key readable by the server's user only (argument: that user, when
# the server runs as another).
make_pg_certificates() {
  local tls=$TONFOLIO_PG_DIR/tls
  mkdir -p "$tls"
  local name
  for name in server other-root; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost" \
      -keyout "$tls/$name.key" -out "$tls/$name.crt" >/dev/null 2>&1 || return 1
  done
  chmod 0600 "$tls/server.key"
  [[ -n ${1:-} ]] && chown -R "$1" "$tls"
  return 0
}
# A TCP port of the loopback address that nothing listens on now.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  echo 54329
}
stop_postgres() {
  if [[ -n "${TONFOLIO_PG_DIR:-}" ]]; then
    [[ -n "${TONFOLIO_PG_CTL:-}" ]] && $TONFOLIO_PG_CTL -m fast stop >/dev/null 2>&1
    rm -rf "$TONFOLIO_PG_DIR"
  fi
  unset TONFOLIO_PG_DIR TONFOLIO_PG_CTL TONFOLIO_TEST_PG_URL TONFOLIO_TEST_PG_TLS_URL
  return 0
}
