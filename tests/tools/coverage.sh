#!/usr/bin/env bash
# Line coverage of engines/, operations/ and core/ by the whole gcc test suite:
# builds with --coverage in build/coverage, runs ctest there (failures are shown,
# the figures taken either way) and prints one percentage per folder. Needs gcovr.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/coverage
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage "$@" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" >/dev/null
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j"${JOBS:-2}" --output-on-failure >"$build/ctest.log" 2>&1 ||
  { echo "some tests failed (see $build/ctest.log):"; grep -E '^\s+[0-9]+ - ' "$build/ctest.log" || true; }
for top in engines operations core; do  # "lines: 93.2% (2689 out of 2884)"
  echo "$top $(gcovr --root . --object-directory "$build" --filter "$top/" --print-summary -o /dev/null | grep '^lines:')"
done
