#!/usr/bin/env bash
# Fuzzes repair for a bounded time with address and undefined-behaviour
# sanitizers: small sound test files damaged in their structure must be
# refused cleanly or repaired without a row the original lacks and without an
# unreported loss. DORVANE_FUZZ_SECONDS (default 60) sets the time.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/test.d/lib/testdata.sh
need_testdata fuzz-jet-repair
seconds="${DORVANE_FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target fuzz_jet_repair
export DORVANE_TESTDATA=$testdata
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
# Inputs name a test file and up to 16 changes of eight bytes each.
for i in $(seq 1 16); do head -c $((1 + 8 * (i % 4 + 1))) /dev/urandom >"$corpus/seed$i"; done
build/fuzz/fuzz/jet_repair/fuzz_jet_repair "$corpus" \
  -max_total_time="$seconds" -max_len=129 -rss_limit_mb=2048 -timeout=30 -print_final_stats=1
