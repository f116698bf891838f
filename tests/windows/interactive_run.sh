#!/usr/bin/env bash
# An interactive run of the Windows program under Wine, for Cindral with an
# Access back-end and its settings in Wine's registry: the window is shown
# (and photographed when there is a display), Run is pressed and each message
# box confirmed by the driver. Checks the batch file, the log (CR LF lines)
# and the backup in the folders the settings name.
# Usage: interactive_run.sh DORVANE_EXE DRIVER_EXE TESTDATA_FOLDER SCREENSHOT_FOLDER
set -euo pipefail
exe=$1 driver=$2 testdata=$3 shots=$4
: "${WINEPREFIX:?run under the Windows test environment (scripts/test.d/60-windows.sh)}"

work=$(mktemp -d /tmp/dorvane-interactive.XXXXXX)
dorvane_pid=
cleanup() {
  if [ -n "$dorvane_pid" ]; then kill "$dorvane_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/app" "$work/db" "$work/backups"
cp "$testdata/products/post_db.mdb" "$work/db/post_db.mdb"
cp "$testdata/mdb/jet4/testV2000.mdb" "$work/app/Cindral.mde"
chmod u+w "$work"/*/*
win() { printf 'Z:%s' "${1//\//\\}"; }
fail() { echo "interactive_run: $*" >&2; cat "$work/app/Dorvane_log.txt" >&2 2>/dev/null || true; exit 1; }

key='HKCU\Software\VB and VBA Program Settings\Cindral'
wine reg add "$key\\TitleBar" /v sqlver /d 0 /f >/dev/null
for setting in APPPATH:app DbPath:db BKpath:backups; do
  wine reg add "$key\\Locations" /v "${setting%%:*}" /d "$(win "$work/${setting#*:}")" /f >/dev/null
done

wine "$exe" /Cindral > "$work/dorvane.out" 2>&1 &
dorvane_pid=$!
wine "$driver" wait || fail "the window did not appear"
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  mkdir -p "$shots"
  import -window root "$shots/window.png" && echo "interactive_run: screenshot $shots/window.png"
fi
wine "$driver" run || fail "the window did not close after Run"
status=0
wait "$dorvane_pid" || status=$?
dorvane_pid=

[ "$status" -eq 0 ] || fail "exit status $status"
expected="\"$(win "$work/app")\\Dorvane.exe\" /silent /Cindral"$'\r'
[ "$(cat "$work/app/Dorvane.bat" 2>/dev/null)" = "$expected" ] || fail "batch file: $(cat -A "$work/app/Dorvane.bat")"
log=$work/app/Dorvane_log.txt
lines=$(wc -l < "$log")
[ "$lines" -ge 4 ] && [ "$lines" = "$(grep -c $'\r$' "$log")" ] || fail "log lines must all end in CR LF"
grep -q 'Application was optimized' "$log" || fail "front-end not optimized"
ls "$work"/backups/post_db_*.mdb >/dev/null 2>&1 || fail "no backup"
echo "interactive_run: window run, batch file and log where the settings say"
