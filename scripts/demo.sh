#!/usr/bin/env bash
# Sets up a demo installation of Bresk in a temporary folder and runs the
# unattended maintenance on it, as a scheduler would: `dorvane /silent /Bresk`.
# Prints the activity log and the files left. Exit status: dorvane's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
testdata=${DORVANE_TESTDATA:-$root/../shared/testdata}
if [ ! -f "$testdata/products/post_db.mdb" ] || [ ! -f "$testdata/mdb/jet4/testV2000.mdb" ]; then
  echo "demo: the test databases are missing: expected $testdata/products/post_db.mdb and" >&2
  echo "      $testdata/mdb/jet4/testV2000.mdb (set DORVANE_TESTDATA to their folder)" >&2
  exit 2
fi

"$root/scripts/install-deps.sh"
cmake --preset gcc -S "$root" >/dev/null
cmake --build --preset gcc -j"$(nproc)" --target dorvane dorvane-settings >/dev/null
bin=$root/build/gcc/app

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
echo "== $demo/app/Dorvane_log.txt"
cat "$demo/app/Dorvane_log.txt"
echo "== files left"
(cd "$demo" && find app data backup -type f -printf '%-45p %10s bytes\n' | sort)
exit "$status"
