#!/usr/bin/env bash
# Line coverage of engines/, operations/ and core/ by the whole gcc test suite.
# Builds with --coverage in build/coverage (never touching the presets' folders),
# runs ctest there and prints one percentage per folder. Needs gcovr.
# Usage: tests/tools/coverage.sh [extra cmake -D options]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/coverage
jobs=${JOBS:-2}
cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage "$@" >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
find "$build" -name '*.gcda' -delete
# A failing test still leaves its counts; the figure is taken either way and the failure shown.
ctest --test-dir "$build" -j"$jobs" --output-on-failure >"$build/ctest.log" 2>&1 \
  || { echo "some tests failed (see $build/ctest.log):"; grep -E '^\s+[0-9]+ - ' "$build/ctest.log" || true; }
gcovr --root . --object-directory "$build" --filter '(engines|operations|core)/' \
  --json-summary "$build/coverage.json" >/dev/null
python3 - "$build/coverage.json" <<'PY'
import json, sys
totals = {}
for f in json.load(open(sys.argv[1]))["files"]:
    top = f["filename"].split("/")[0]
    covered, total = totals.get(top, (0, 0))
    totals[top] = (covered + f["line_covered"], total + f["line_total"])
for top in ("engines", "operations", "core"):
    covered, total = totals.get(top, (0, 0))
    print(f"{top:<11} {covered:>6}/{total:<6} {100.0 * covered / total if total else 0:6.2f}%")
PY
