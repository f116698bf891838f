#!/usr/bin/env bash
# An unattended run of the Windows program under Wine, for Bresk with an
# Access back-end: settings in Wine's registry where the products keep them,
# files on copies of the test databases. Checks the log (CR LF lines), the
# compacted files and the time-stamped backup, read back with mdbtools.
# Usage: unattended_run.sh DORVANE_EXE TESTDATA_FOLDER
set -euo pipefail
exe=$1 testdata=$2
: "${WINEPREFIX:?run under the Windows test environment (scripts/test.d/60-windows.sh)}"

work=$(mktemp -d /tmp/dorvane-unattended.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/db" "$work/backups"
cp "$testdata/products/post_db.mdb" "$work/db/post_db.mdb"
cp "$testdata/mdb/jet4/testV2000.mdb" "$work/app/Bresk.mde"
chmod u+w "$work"/*/*
win() { printf 'Z:%s' "${1//\//\\}"; }  # Wine maps drive Z: to /

key='HKCU\Software\VB and VBA Program Settings\Bresk'
wine reg add "$key\\TitleBar" /v sqlver /d 0 /f >/dev/null
wine reg add "$key\\Locations" /v APPPATH /d "$(win "$work/app")" /f >/dev/null
# Stored in other letter cases than the program asks for: the registry's rules.
wine reg add "$key\\Locations" /v DBPATH /d "$(win "$work/db")" /f >/dev/null
wine reg add "$key\\Locations" /v bkPATH /d "$(win "$work/backups")" /f >/dev/null

fail() { echo "unattended_run: $*" >&2; echo "--- log:" >&2; cat "$work/app/Dorvane_log.txt" >&2 || true; exit 1; }

status=0
wine "$exe" /silent /Bresk || status=$?

log=$work/app/Dorvane_log.txt
[ -f "$log" ] || fail "no log at APPPATH"
lines=$(wc -l < "$log")
crlf=$(grep -c $'\r$' "$log" || true)
[ "$lines" -ge 4 ] && [ "$lines" = "$crlf" ] || fail "log lines must all end in CR LF ($crlf of $lines)"
tail -n 1 "$log" | grep -q -- '     -------------------------------------'$'\r$' || fail "no separator line at the end"
[ ! -e "$work/app/Dorvane.bat" ] || fail "an unattended run writes no batch file"

[ "$status" -eq 0 ] || fail "exit status $status"
grep -q 'Application was optimized' "$log" || fail "front-end not optimized"
grep -q 'The Dbase was repaired & compacted successfully' "$log" || fail "back-end not repaired"
grep -q 'Backup was created' "$log" || fail "no backup logged"
shopt -s nullglob
backups=("$work"/backups/post_db_*.mdb)
[ "${#backups[@]}" -eq 1 ] || fail "expected one backup, found ${#backups[@]}"
grep -qF "$(win "${backups[0]}")" "$log" || fail "backup path not logged as Windows path"
[ ! -e "$work/app/Temp.bk0" ] && [ ! -e "$work/db/Temp.bk0" ] || fail "Temp.bk0 left behind"

# An independent reader sees the same tables with the same row counts.
if command -v mdb-tables >/dev/null; then
  for pair in "$testdata/products/post_db.mdb:$work/db/post_db.mdb" \
              "$testdata/products/post_db.mdb:${backups[0]}" \
              "$testdata/mdb/jet4/testV2000.mdb:$work/app/Bresk.mde"; do
    before=${pair%%:*} after=${pair#*:}
    [ "$(mdb-tables -1 "$before" | sort)" = "$(mdb-tables -1 "$after" | sort)" ] ||
      fail "tables differ in $after"
    while read -r table; do
      [ -n "$table" ] || continue
      a=$(mdb-export "$before" "$table" | wc -l) b=$(mdb-export "$after" "$table" | wc -l)
      [ "$a" = "$b" ] || fail "table $table: $a rows before, $b after in $after"
    done < <(mdb-tables -1 "$before")
  done
fi
echo "unattended_run: compacted and backed up; log and backup where the settings say"
