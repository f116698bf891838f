#!/bin/sh
# The test-only TDS endpoint on the host, for the Windows tests under Wine,
# which reach it through Wine's odbc32 and the host's FreeTDS. Run by ctest
# before and after them:
#   tds_endpoint.sh start FOLDER ENDPOINT.py   the port goes to FOLDER/port
#   tds_endpoint.sh stop FOLDER
# Its SELECT answers a document folder with an umlaut, which is also a folder
# of its "server" disk, so a backup into it succeeds.
set -eu
folder=$2
case $1 in
start)
  rm -rf "$folder"
  mkdir -p "$folder/disk/E/Sicherung-ü"
  : >"$folder/freetds.conf"
  python3 "$3" --record "$folder/record" --disk-root "$folder/disk" --rows '["E:\\Sicherung-\u00fc"]' \
    </dev/null >"$folder/port" 2>"$folder/errors" &
  echo $! >"$folder/pid"
  for _ in $(seq 100); do
    grep -q '^PORT ' "$folder/port" && exit 0
    sleep 0.1
  done
  echo "the TDS endpoint did not start: $(cat "$folder/errors")" >&2
  exit 1
  ;;
stop)
  kill "$(cat "$folder/pid")"
  ;;
esac
