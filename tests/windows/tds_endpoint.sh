#!/bin/sh
# ctest runs the test-only TDS endpoint on the host around the Windows tests,
# which reach it under Wine through odbc32 and the host's FreeTDS. Its SELECT
# answers a folder with an umlaut that also exists on its "server" disk. The
# endpoint ends when its standard input closes: a sleeping writer holds it open.
#   tds_endpoint.sh start FOLDER ENDPOINT.py  (the port goes to FOLDER/port)
#   tds_endpoint.sh stop FOLDER
set -eu
if [ "$1" = stop ]; then kill "$(cat "$2/holder")"; exit; fi
rm -rf "$2" && mkdir -p "$2/disk/E/Sicherung-ü" "$2/record" && : >"$2/freetds.conf" && mkfifo "$2/input"
python3 "$3" --record "$2/record" --port-file "$2/port" --disk-root "$2/disk" --reply ok \
  --rows '["E:\\Sicherung-\u00fc"]' <"$2/input" >/dev/null 2>"$2/errors" &
sleep infinity >"$2/input" 2>/dev/null </dev/null &
echo $! >"$2/holder"
for _ in $(seq 100); do [ -s "$2/port" ] && exit 0; sleep 0.1; done
echo "the TDS endpoint did not start: $(cat "$2/errors")" >&2
exit 1
