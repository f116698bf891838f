#!/usr/bin/env bash
# Fuzzes the Access reader for a bounded time, seeded with the real test files.
# DORVANE_FUZZ_SECONDS (default 60) sets the time.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/test.d/lib/testdata.sh
need_testdata fuzz-jet-read
seconds="${DORVANE_FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz_jet_read
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
# Seeds: the real files up to 700 KB (larger ones slow every run down).
find "$testdata/mdb" "$testdata/products" "$testdata/accdb" \( -name '*.mdb' -o -name '*.accdb' \) -size +0 -size -700k \
  -exec cp {} "$corpus/" \;
build/fuzz/fuzz/jet_read/fuzz_jet_read "$corpus" \
  -max_total_time="$seconds" -max_len=700000 -rss_limit_mb=2048 -timeout=20 -print_final_stats=1
