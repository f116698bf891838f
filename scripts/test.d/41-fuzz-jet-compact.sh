#!/usr/bin/env bash
# Fuzzes compaction for a bounded time with address and undefined-behaviour
# sanitizers, seeded with the small real test files: every input must be
# refused cleanly or compacted into a copy with the same content.
# DORVANE_FUZZ_SECONDS (default 60) sets the time.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${DORVANE_FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz_jet_compact
testdata="${DORVANE_TESTDATA:-$PWD/../shared/testdata}"
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
find "$testdata/mdb" -name '*.mdb' -size +0 -size -150k -exec cp {} "$corpus/" \;
build/fuzz/fuzz/jet_compact/fuzz_jet_compact "$corpus" \
  -max_total_time="$seconds" -max_len=150000 -rss_limit_mb=2048 -timeout=30 -print_final_stats=1
