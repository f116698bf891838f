#!/usr/bin/env bash
# The .deb packages as a site gets them: a Release build configured with the
# default prefix, packed by CPack into dorvane (no Qt) and dorvane-window,
# checked by lintian, installed with apt-get one after the other, their units
# verified and run by a user systemd instance with its journal, dorvane run on
# a demo installation, then purged, leaving none of their files behind. Needs
# root, like apt-get.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
. scripts/test.d/lib/testdata.sh
build=$root/build/deb
fail() { echo "debian-package: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"

# Any prefix: the packages install under /usr, and their units and manual
# pages say so.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr/local \
  -DDORVANE_TESTS=OFF -DDORVANE_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/packages" >/dev/null
deb=$(echo "$build"/packages/dorvane_*.deb)
window=$(echo "$build"/packages/dorvane-window_*.deb)
[ -f "$deb" ] && [ -f "$window" ] || fail "the two packages were not made: $(ls "$build/packages")"
version=$(dpkg-deb -f "$deb" Version)

# What each package holds, and the dependencies computed for it.
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort | xargs; }
[ "$(contents "$deb")" = "$(echo /usr/bin/dorvane /usr/bin/dorvane-jet /usr/bin/dorvane-settings \
  /usr/lib/systemd/user/dorvane@.service /usr/lib/systemd/user/dorvane@.timer /usr/share/doc/dorvane/README.md \
  /usr/share/doc/dorvane/changelog.gz /usr/share/doc/dorvane/copyright /usr/share/man/man1/dorvane-jet.1.gz \
  /usr/share/man/man1/dorvane-settings.1.gz /usr/share/man/man1/dorvane.1.gz)" ] ||
  fail "dorvane holds: $(contents "$deb")"
[ "$(contents "$window")" = "/usr/libexec/dorvane/dorvane-window /usr/share/doc/dorvane-window/changelog.gz \
/usr/share/doc/dorvane-window/copyright" ] || fail "dorvane-window holds: $(contents "$window")"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libodbc' <<<"$depends" || fail "no library dependencies: $depends"
window_depends=$(dpkg-deb -f "$window" Depends)
grep -q "dorvane (= $version).*libqt6widgets6" <<<"$window_depends" || fail "dorvane-window's dependencies: $window_depends"

# A headless server: nothing of Qt in dorvane, its dependencies or theirs.
unpacked=$(mktemp -d)
dpkg-deb -x "$deb" "$unpacked"
for program in "$unpacked"/usr/bin/*; do
  needed=$(readelf -d "$program")  # not piped into grep -q: with pipefail an early exit would pass
  ! grep -qi 'NEEDED.*qt' <<<"$needed" || fail "$(basename "$program") links Qt"
done
rm -rf "$unpacked"
# shellcheck disable=SC2046  # one package name per word
closure=$(apt-cache depends --recurse --no-suggests --no-conflicts --no-breaks --no-replaces --no-enhances \
  $(dpkg-deb -f "$deb" Depends Recommends | sed 's/^[A-Za-z]*: //; s/([^)]*)//g; s/|/,/g' | tr ',' '\n' | xargs) |
  grep -v '^ ' | sort -u)
! grep -qi 'qt' <<<"$closure" || fail "installing dorvane would pull in: $(grep -i qt <<<"$closure" | xargs)"

# Debian's own checks: no error and no warning.
said=$(lintian --tag-display-limit 0 "$deb" "$window" 2>&1 | grep -E '^[EW]: ' || true)
[ -z "$said" ] || fail "lintian: $said"

# Installed under another prefix by hand, units and pages name that prefix.
staged=$(mktemp -d)
DESTDIR=$staged cmake --install "$build" --prefix /opt/dorvane >/dev/null
grep -qx 'ExecStart=/opt/dorvane/bin/dorvane /silent /%i' "$staged/opt/dorvane/lib/systemd/user/dorvane@.service" ||
  fail "the unit installed under /opt/dorvane says: $(grep Exec "$staged/opt/dorvane/lib/systemd/user/dorvane@.service")"
page=$(zcat "$staged/opt/dorvane/share/man/man1/dorvane.1.gz")
grep -q '/opt/dorvane/lib/systemd/user/dorvane@' <<<"$page" && grep -q '/opt/dorvane/libexec/dorvane/dorvane-window' <<<"$page" ||
  fail "dorvane(1) installed under /opt/dorvane names other folders for the units or the window"
rm -rf "$staged"

demo=$(mktemp -d /tmp/dorvane-package.XXXXXX)
cleanup() {
  for package in dorvane-window dorvane; do
    if dpkg-query -W "$package" >/dev/null 2>&1; then
      DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "$package" >/dev/null || true
    fi
  done
  rm -rf "$demo"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ "$(command -v dorvane)" = /usr/bin/dorvane ] || fail "dorvane is not /usr/bin/dorvane after installing"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY dorvane --version)" = "dorvane $version" ] ||
  fail "the installed dorvane --version is wrong"
grep -qx 'ExecStart=/usr/bin/dorvane /silent /%i' /usr/lib/systemd/user/dorvane@.service ||
  fail "the installed unit starts: $(grep Exec /usr/lib/systemd/user/dorvane@.service)"

# The demo installation of scripts/demo.sh, run by the installed programs: the
# test databases, or files the installed dorvane-jet makes.
mkdir -p "$demo/app" "$demo/data" "$demo/backup"
if have_testdata; then
  install -m 644 "$testdata/mdb/jet4/testV2000.mdb" "$demo/app/Bresk.mde"
  install -m 644 "$testdata/products/post_db.mdb" "$demo/data/post_db.mdb"
else
  printf 'LibCode,DocumentPath\r\nlib1,C:\\Docs\r\nlib2,D:\\Scans\r\n' >"$demo/doclib.csv"
  dorvane-jet create "$demo/app/Bresk.mde" >/dev/null
  dorvane-jet create "$demo/data/post_db.mdb" >/dev/null
  dorvane-jet import "$demo/data/post_db.mdb" doclib "$demo/doclib.csv" --key LibCode >/dev/null
fi
export XDG_CONFIG_HOME=$demo/config
dorvane-settings set Bresk TitleBar sqlver 0
dorvane-settings set Bresk Locations APPPATH "$demo/app"
dorvane-settings set Bresk Locations DbPath "$demo/data"
dorvane-settings set Bresk Locations BKpath "$demo/backup"

# Without dorvane-window the window is not there, and dorvane says where it is.
status=0
said=$(cd "$demo" && env -u DISPLAY dorvane /Bresk 2>&1) || status=$?
[ "$status" = 1 ] && grep -q 'package dorvane-window' <<<"$said" || fail "dorvane /Bresk without the window: $status $said"

# The units as systemd reads them, and run by a user instance with a journal
# of its own where this machine lets a test start one (a private mount
# namespace as root); the damaged back-end: one data page of the test back-end zeroed.
if command -v systemd-analyze >/dev/null; then
  mkdir "$demo/units"
  for kind in service timer; do ln -s "/usr/lib/systemd/user/dorvane@.$kind" "$demo/units/dorvane@Bresk.$kind"; done
  # It only warns about unknown keys: any word from it is a failure.
  said=$(systemd-analyze verify --man=no "$demo/units/dorvane@Bresk.service" "$demo/units/dorvane@Bresk.timer" 2>&1) &&
    [ -z "$said" ] || fail "systemd-analyze verify on the units: $said"
else
  echo "debian-package: systemd-analyze is not installed; the units are not verified"
fi
if command -v systemd >/dev/null && unshare -m true 2>/dev/null; then
  damaged=
  if have_testdata; then
    damaged=$demo/damaged.mdb
    cp "$testdata/products/post_db.mdb" "$damaged"
    dd if=/dev/zero of="$damaged" bs=4096 seek=293 count=1 conv=notrunc status=none
  fi
  unshare -m --propagation private bash scripts/test.d/lib/user-journal.sh "$demo" $damaged ||
    fail "the units' runs under a user systemd instance (above)"
else
  echo "debian-package: no user systemd instance can be started here; the units did not run"
fi

(cd "$demo" && env -u DISPLAY dorvane /silent /Bresk >/dev/null) ||
  fail "the installed dorvane /silent /Bresk failed: $(cat "$demo/app/Dorvane_log.txt")"
compgen -G "$demo/backup/post_db_*.mdb" >/dev/null || fail "no backup was written"
dorvane-jet check "$demo/data/post_db.mdb" >/dev/null || fail "the compacted back-end does not check"

# With dorvane-window the same command opens the window (here: says there is no display).
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$window" >/dev/null
status=0
said=$(cd "$demo" && env -u DISPLAY -u WAYLAND_DISPLAY dorvane /Bresk 2>&1) || status=$?
[ "$status" = 1 ] && grep -q 'cannot show the window: no display' <<<"$said" ||
  fail "dorvane /Bresk with the window installed: $status $said"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq dorvane-window dorvane >/dev/null
for package in dorvane dorvane-window; do
  [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" != "install ok installed" ] || fail "$package is still installed"
done
for f in $(contents "$deb") $(contents "$window"); do
  [ ! -e "$f" ] || fail "$f is left after purging the packages"
done
echo "debian-package: $(basename "$deb") and $(basename "$window") passed lintian, installed, ran and were purged cleanly"
