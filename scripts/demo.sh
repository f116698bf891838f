#!/usr/bin/env bash
# Sets up a demo installation of Bresk in a temporary folder and runs the
# unattended maintenance on it, as a scheduler would: `dorvane /silent /Bresk`.
# Prints the activity log and the files left. Exit status: dorvane's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
testdata=${DORVANE_TESTDATA:-$root/../shared/testdata}

"$root/scripts/install-deps.sh"
cmake --preset gcc -S "$root" >/dev/null
cmake --build --preset gcc -j"$(nproc)" --target dorvane dorvane-settings dorvane-jet >/dev/null
bin=$root/build/gcc/app

# CSV with `rows` records for `table` (doclib, documents, customers or scratch): text with
# letters beyond ASCII, numbers, amounts, dates, and memos of up to a few KiB.
make_csv() {
  awk -v table="$1" -v rows="$2" 'BEGIN {
    srand(17); ORS = "\r\n"
    split("Müller,Søren,Élodie,Zoë,Ångström,Nuñez,Kovač,Ødegård,Brandt,Ibáñez", names, ",")
    if (table == "doclib") print "LibCode,DocumentPath,Description"
    else if (table == "customers") print "CustomerNo,Name,City,Balance,Since,Active"
    else print "DocNo,Title,Pages,Amount,Filed,Notes"
    for (i = 1; i <= rows; i++) {
      name = names[1 + int(rand() * 10)]
      if (table == "doclib") {
        printf "LIB%04d,C:\\Bresk\\Docs\\%s\\%05d.doc,\"Letter to %s, page %d\"" ORS, i, substr("ABCDEFGH", 1 + i % 8, 1), i, name, i % 7 + 1
        continue
      }
      if (table == "customers") {
        printf "%d,%s %d,%s,%.2f,%04d-%02d-%02d,%s" ORS, 1000 + i, name, i, (i % 2 ? "Zürich" : "Göteborg"),
          rand() * 20000 - 5000, 1990 + i % 30, 1 + i % 12, 1 + i % 28, (i % 3 ? "yes" : "no")
        continue
      }
      notes = ""
      for (n = int(rand() * 60); n > 0; n--) notes = notes "Note on " name " with an amount of " i " kr. "
      printf "%d,\"Document %d for %s\",%d,%.2f,%04d-%02d-%02d %02d:%02d:00,\"%s\"" ORS, i, i, name, 1 + i % 40,
        rand() * 1000, 2000 + i % 24, 1 + i % 12, 1 + i % 28, i % 24, i % 60, notes
    }
  }'
}

# Without the test databases (a fresh clone, or DORVANE_TESTDATA naming an
# empty folder) the demo makes its own: a back-end shaped like Bresk's and a
# front-end, each with free space left by a scratch table that is dropped.
if [ ! -f "$testdata/products/post_db.mdb" ] || [ ! -f "$testdata/mdb/jet4/testV2000.mdb" ]; then
  made=$(mktemp -d /tmp/dorvane-demo-data.XXXXXX)
  echo "== No test databases in $testdata: making the demo's own in $made"
  mkdir -p "$made/products" "$made/mdb/jet4"
  jet=$bin/jet_tool/dorvane-jet
  for table in doclib:2000 documents:3000 customers:2500 scratch:1500; do
    make_csv "${table%%:*}" "${table##*:}" >"$made/${table%%:*}.csv"
  done
  "$jet" create "$made/products/post_db.mdb"
  "$jet" import "$made/products/post_db.mdb" doclib "$made/doclib.csv" --key LibCode
  "$jet" import "$made/products/post_db.mdb" documents "$made/documents.csv" --key DocNo
  "$jet" import "$made/products/post_db.mdb" customers "$made/customers.csv" --key CustomerNo
  "$jet" import "$made/products/post_db.mdb" scratch "$made/scratch.csv"
  "$jet" drop "$made/products/post_db.mdb" scratch
  "$jet" create "$made/mdb/jet4/testV2000.mdb"
  "$jet" import "$made/mdb/jet4/testV2000.mdb" recent "$made/doclib.csv" --key LibCode
  "$jet" import "$made/mdb/jet4/testV2000.mdb" scratch "$made/scratch.csv"
  "$jet" drop "$made/mdb/jet4/testV2000.mdb" scratch
  testdata=$made
fi

demo=$(mktemp -d /tmp/dorvane-demo.XXXXXX)
mkdir -p "$demo/app" "$demo/data" "$demo/backup" "$demo/config"
cp "$testdata/mdb/jet4/testV2000.mdb" "$demo/app/Bresk.mde"
cp "$testdata/products/post_db.mdb" "$demo/data/post_db.mdb"
chmod u+w "$demo/app/Bresk.mde" "$demo/data/post_db.mdb"
export XDG_CONFIG_HOME=$demo/config
"$bin/dorvane-settings" set Bresk TitleBar sqlver 0
"$bin/dorvane-settings" set Bresk Locations APPPATH "$demo/app"
"$bin/dorvane-settings" set Bresk Locations DbPath "$demo/data"
"$bin/dorvane-settings" set Bresk Locations BKpath "$demo/backup"

echo "== Demo installation of Bresk in $demo"
"$bin/dorvane-settings" list Bresk
echo "== dorvane /silent /Bresk"
status=0
(cd "$demo" && "$bin/dorvane" /silent /Bresk 2>&1) || status=$?
echo "== exit status: $status"
echo "== sizes before and after"
printf '%-45s %10s bytes\n' "Bresk.mde before" "$(stat -c %s "$testdata/mdb/jet4/testV2000.mdb")" \
  "post_db.mdb before" "$(stat -c %s "$testdata/products/post_db.mdb")" \
  "Bresk.mde after" "$(stat -c %s "$demo/app/Bresk.mde")" "post_db.mdb after" "$(stat -c %s "$demo/data/post_db.mdb")"
echo "== $demo/app/Dorvane_log.txt"
cat "$demo/app/Dorvane_log.txt"
echo "== files left"
(cd "$demo" && find app data backup -type f -printf '%-45p %10s bytes\n' | sort)
exit "$status"
