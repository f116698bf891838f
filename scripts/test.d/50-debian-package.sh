#!/usr/bin/env bash
# The .deb as a site gets it: a Release build packed by CPack, installed with
# apt-get, its units checked, its dorvane run on a demo installation of Bresk,
# then purged, leaving none of its files behind. Needs root, like apt-get.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
testdata=${DORVANE_TESTDATA:-$root/../shared/testdata}
build=$root/build/deb
fail() { echo "debian-package: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DDORVANE_TESTS=OFF -DDORVANE_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/packages" >/dev/null
deb=$(echo "$build"/packages/dorvane_*.deb)
[ -f "$deb" ] || fail "no package was made"

# What the package holds, and that the library dependencies were computed.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$build/packages/content"
for f in /usr/bin/dorvane /usr/bin/dorvane-jet /usr/bin/dorvane-settings /usr/share/doc/dorvane/README.md \
  /usr/lib/systemd/user/dorvane@.service /usr/lib/systemd/user/dorvane@.timer \
  /usr/share/man/man1/dorvane.1.gz /usr/share/man/man1/dorvane-jet.1.gz /usr/share/man/man1/dorvane-settings.1.gz; do
  grep -qx "$f" "$build/packages/content" || fail "the package lacks $f"
done
[ "$(wc -l <"$build/packages/content")" -eq 9 ] || fail "the package holds more than it should: $(cat "$build/packages/content")"
dpkg-deb -f "$deb" Depends | grep -q 'libodbc' || fail "no library dependencies: $(dpkg-deb -f "$deb" Depends)"

demo=$(mktemp -d /tmp/dorvane-package.XXXXXX)
cleanup() {
  if dpkg-query -W dorvane >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq dorvane >/dev/null || true
  fi
  rm -rf "$demo"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ "$(command -v dorvane)" = /usr/bin/dorvane ] || fail "dorvane is not /usr/bin/dorvane after installing"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY dorvane --version)" = "dorvane $(dpkg-deb -f "$deb" Version)" ] ||
  fail "the installed dorvane --version is wrong"

if command -v systemd-analyze >/dev/null; then
  mkdir "$demo/units"
  for kind in service timer; do ln -s "/usr/lib/systemd/user/dorvane@.$kind" "$demo/units/dorvane@Bresk.$kind"; done
  # It only warns about unknown keys: any word from it is a failure.
  said=$(systemd-analyze verify --man=no "$demo/units/dorvane@Bresk.service" "$demo/units/dorvane@Bresk.timer" 2>&1) &&
    [ -z "$said" ] || fail "systemd-analyze verify on the units: $said"
else
  echo "debian-package: systemd-analyze is not installed; the units are not verified"
fi

# The demo installation of scripts/demo.sh, run by the installed programs.
mkdir -p "$demo/app" "$demo/data" "$demo/backup"
install -m 644 "$testdata/mdb/jet4/testV2000.mdb" "$demo/app/Bresk.mde"
install -m 644 "$testdata/products/post_db.mdb" "$demo/data/post_db.mdb"
export XDG_CONFIG_HOME=$demo/config
dorvane-settings set Bresk TitleBar sqlver 0
dorvane-settings set Bresk Locations APPPATH "$demo/app"
dorvane-settings set Bresk Locations DbPath "$demo/data"
dorvane-settings set Bresk Locations BKpath "$demo/backup"
(cd "$demo" && env -u DISPLAY dorvane /silent /Bresk) || fail "the installed dorvane /silent /Bresk failed: $(cat "$demo/app/Dorvane_log.txt")"
compgen -G "$demo/backup/post_db_*.mdb" >/dev/null || fail "no backup was written"
dorvane-jet check "$demo/data/post_db.mdb" >/dev/null || fail "the compacted back-end does not check"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq dorvane >/dev/null
! dpkg-query -W -f='${Status}' dorvane 2>/dev/null | grep -q 'install ok installed' || fail "dorvane is still installed"
while read -r f; do
  [ ! -e "$f" ] || fail "$f is left after purging the package"
done <"$build/packages/content"
echo "debian-package: $(basename "$deb") installed, ran the demo and was purged cleanly"
