#!/usr/bin/env bash
# An interactive run of the Windows program under Wine, for Cindral with an
# Access back-end and its settings in Wine's registry: the window is shown
# (and photographed when there is a display), Run is pressed and each message
# box confirmed by the driver. Checks the batch file and the log, CR LF and
# all, in the folder the settings name.
# Usage: interactive_run.sh DORVANE_EXE DRIVER_EXE TESTDATA_FOLDER HAVE_JET(0|1) SCREENSHOT_FOLDER
set -euo pipefail
exe=$1 driver=$2 testdata=$3 have_jet=$4 shots=$5
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
wine reg add "$key\\Locations" /v APPPATH /d "$(win "$work/app")" /f >/dev/null
wine reg add "$key\\Locations" /v DbPath /d "$(win "$work/db")" /f >/dev/null
wine reg add "$key\\Locations" /v BKpath /d "$(win "$work/backups")" /f >/dev/null

wine "$exe" /Cindral > "$work/dorvane.out" 2>&1 &
dorvane_pid=$!
wine "$driver" wait || fail "the window did not appear"
if [ -n "${DISPLAY:-}" ] && command -v import >/dev/null; then
  mkdir -p "$shots"
  import -window root "$shots/window.png" && echo "interactive_run: screenshot $shots/window.png"
fi
wine "$driver" run || fail "the window did not close after Run"
set +e
wait "$dorvane_pid"
status=$?
set -e
dorvane_pid=

bat=$work/app/Dorvane.bat
[ -f "$bat" ] || fail "no batch file at APPPATH"
expected="\"$(win "$work/app")\\Dorvane.exe\" /silent /Cindral"$'\r'
[ "$(cat "$bat")" = "$expected" ] || fail "batch file holds: $(cat -A "$bat")"
log=$work/app/Dorvane_log.txt
lines=$(wc -l < "$log")
[ "$lines" -ge 4 ] && [ "$lines" = "$(grep -c $'\r$' "$log")" ] || fail "log lines must all end in CR LF"
if [ "$have_jet" = 1 ]; then
  [ "$status" -eq 0 ] || fail "exit status $status"
  grep -q 'Application was optimized' "$log" || fail "front-end not optimized"
  ls "$work"/backups/post_db_*.mdb >/dev/null 2>&1 || fail "no backup"
else
  grep -q 'Unable to optimize application' "$log" || fail "failure not logged"
fi
echo "interactive_run: window run, batch file and log where the settings say"
