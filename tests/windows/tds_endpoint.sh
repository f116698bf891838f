#!/bin/sh
# ctest runs the test-only TDS endpoint on the host around the Windows tests,
# which reach it under Wine through odbc32 and the host's FreeTDS. Its SELECT
# answers a folder with an umlaut that also exists on its "server" disk.
#   tds_endpoint.sh start FOLDER ENDPOINT.py  (the port goes to FOLDER/port)
#   tds_endpoint.sh stop FOLDER
set -eu
if [ "$1" = stop ]; then kill "$(cat "$2/pid")"; exit; fi
rm -rf "$2" && mkdir -p "$2/disk/E/Sicherung-ü" && : >"$2/freetds.conf"
python3 "$3" --record "$2/record" --disk-root "$2/disk" --rows '["E:\\Sicherung-\u00fc"]' \
  </dev/null >"$2/port" 2>"$2/errors" &
echo $! >"$2/pid"
for _ in $(seq 100); do grep -q '^PORT ' "$2/port" && exit 0; sleep 0.1; done
echo "the TDS endpoint did not start: $(cat "$2/errors")" >&2
exit 1
