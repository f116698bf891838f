#!/usr/bin/env bash
# Runs the whole test suite: installs what is missing, builds with GCC and
# with Clang (address and undefined-behaviour sanitizers), runs every test, then
# the extra suites in scripts/test.d/ in name order.
set -euo pipefail
cd "$(dirname "$0")/.."
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
