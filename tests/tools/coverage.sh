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
gcovr --root . --object-directory "$build" --filter '(engines|operations|core)/' --json-summary "$build/coverage.json" >/dev/null
python3 - "$build/coverage.json" <<'PY'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
for top in ("engines", "operations", "core"):
    mine = [f for f in files if f["filename"].startswith(top + "/")]
    covered, total = sum(f["line_covered"] for f in mine), sum(f["line_total"] for f in mine)
    print(f"{top:<11} {covered:>6}/{total:<6} {100.0 * covered / max(total, 1):6.2f}%")
PY
