#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, builds with GCC and
# with Clang (address and undefined-behaviour sanitizers), runs every test, then
# the extra suites in scripts/test.d/ in name order.
#
# The tests on Access-made files need the test databases: $DORVANE_TESTDATA,
# else ../shared/testdata beside this checkout. Without them everything else
# runs and one line says what was skipped; DORVANE_REQUIRE_TESTDATA=1 (CI)
# makes their absence a failure instead.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/test.d/lib/testdata.sh
export DORVANE_TESTDATA=$testdata  # the same folder for CMake and every step
if ! have_testdata; then
  if [ "${DORVANE_REQUIRE_TESTDATA:-0}" = 1 ]; then
    echo "test: the test databases are missing in $testdata (DORVANE_TESTDATA), and DORVANE_REQUIRE_TESTDATA=1" >&2
    exit 1
  fi
  echo "== skipped: the tests that need the Access-made test databases (the engine and compaction" \
    "on real files, the crash runs, fuzzing, the Windows program runs): none in $testdata;" \
    "set DORVANE_TESTDATA to their folder"
  export DORVANE_SKIP_SAID=1
fi
scripts/install-deps.sh
jobs=$(nproc)

cmake --preset gcc >/dev/null
cmake --build --preset gcc -j"$jobs"
ctest --preset gcc -j"$jobs"

cmake --preset clang >/dev/null
cmake --build --preset clang -j"$jobs"
ctest --preset clang -j"$jobs"

for step in scripts/test.d/*.sh; do
  [ -e "$step" ] || continue
  echo "== $step"
  bash "$step"
done
