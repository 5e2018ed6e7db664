# Sourced by the measuring scripts: a data tree in a temporary folder, made the current folder,
# with a credit server holding 50.00 of credit, both gone when the script ends.
#   cabinet_up BIN_DIR NAME    sets $work (the folder) and $server (the server's pid)
cabinet_up() {
  local bin=$1
  work=$(mktemp -d "/tmp/quibblo-$2-XXXXXX")
  server=
  trap cabinet_down EXIT
  "$bin/quibblo-assets" --out "$work/tree" >/dev/null
  cd "$work/tree"
  "$bin/quibblo-credit" serve --db credit.db 2>/dev/null &
  server=$!
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/6667) 2>/dev/null && break
    sleep 0.1
  done
  "$bin/quibblo-credit" insert 5000 --db credit.db >/dev/null
}

cabinet_down() {
  [ -n "$server" ] && kill -TERM "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
