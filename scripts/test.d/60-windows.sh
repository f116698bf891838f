#!/usr/bin/env bash
# The Windows build: cross-compiled with mingw-w64, its tests run under Wine
# (unit tests through ctest with Wine as emulator, plus the tests of the
# Windows parts in tests/windows). With Xvfb it also takes a screenshot of the
# window: build/mingw/screenshots/window.png.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
start=$(date +%s)
. scripts/test.d/lib/testdata.sh

cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$(nproc)"

build=$root/build/mingw
export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# An X server of our own when none is given and Xvfb is there; otherwise
# Wine's null graphics driver, under which windows work but are not drawn
# (DORVANE_WINE_NULL_DRIVER=1 asks for it).
if [ "${DORVANE_WINE_NULL_DRIVER:-0}" = 1 ]; then
  unset DISPLAY
elif [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  tries=0
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    tries=$((tries + 1)); [ "$tries" -le 3 ] || break
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ -e "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; break; fi
    kill "$xvfb_pid" 2>/dev/null || true; xvfb_pid=
  done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot --init >/dev/null 2>&1
fi
# A program that crashes ends with its backtrace on standard error rather
# than behind a crash dialog that waits for a click (and that the window
# tests would then find among the windows).
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null
if [ -n "${DISPLAY:-}" ]; then
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  ln -sf /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
else
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
fi
# The driver setting takes effect with a fresh server; one persistent server
# then serves every test instead of each waiting for the last to exit.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
wine wineboot >/dev/null 2>&1

rm -f "$build/screenshots/window.png"
# A Wine process very rarely dies at start-up without a word (seen once in
# about 600 test runs); one more try tells that apart from a failing test.
ctest --preset mingw -j"$(nproc)" --repeat until-pass:2

# The window once more at 144 DPI: its layout follows the screen's DPI. Its
# test, like every program run here, works on copies of the test databases.
if have_testdata; then
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
  wineserver -k; wineserver -w; wineserver -p
  wine wineboot >/dev/null 2>&1
  status=0
  (cd "$build/tests/windows" && wine ./dorvane_windows_tests.exe --gtest_filter='WindowTest.*' --gtest_brief=1) || status=$?
  wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
  [ "$status" -eq 0 ] || { echo "windows: the window failed at 144 DPI" >&2; exit 1; }
elif [ "${DORVANE_SKIP_SAID:-0}" != 1 ]; then
  echo "windows: the program runs and the window were skipped: no test databases in $testdata (set DORVANE_TESTDATA)"
fi

# The zip a Windows site unpacks: the programs, the README and SCHEDULING.txt;
# its dorvane.exe answers --version.
rm -rf "$build/packages"
cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$build/packages" >/dev/null
zip=$(echo "$build"/packages/dorvane-*-win64.zip)
listing=$(cd "$build/packages" && cmake -E tar xvf "$zip" 2>&1 | sed -n 's|^x [^/]*/||p' | sed '/^$/d' | LC_ALL=C sort | xargs)
[ "$listing" = "README.md SCHEDULING.txt dorvane-jet.exe dorvane.exe" ] || { echo "windows: the zip holds: $listing" >&2; exit 1; }
answer=$(wine "${zip%.zip}/dorvane.exe" --version | tr -d '\r')
version=${zip##*/dorvane-}
[ "$answer" = "dorvane ${version%-win64.zip}" ] ||
  { echo "windows: the zip's dorvane.exe --version said: $answer" >&2; exit 1; }
echo "windows: package: $zip"

if [ -f "$build/screenshots/window.png" ]; then echo "windows: screenshot of the window: $build/screenshots/window.png"; fi
echo "windows: build and tests took $(( $(date +%s) - start )) s (display: ${DISPLAY:-none})"
