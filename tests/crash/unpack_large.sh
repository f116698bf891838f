#!/usr/bin/env bash
# Unpacks the 55 MiB benchmark back-end once for the tests that need a run
# long enough to be interrupted, and checks it against SHA256SUMS.
set -euo pipefail
testdata=$1 out=$2
if [ -f "$out" ] && [ "$(sha256sum "$out" | cut -d' ' -f1)" = "$(grep 'bench-30k.mdb$' "$testdata/bench/SHA256SUMS" | cut -d' ' -f1)" ]; then
  exit 0
fi
xz -dc "$testdata/bench/bench-30k.mdb.xz" >"$out.part"
expected=$(grep 'bench-30k.mdb$' "$testdata/bench/SHA256SUMS" | cut -d' ' -f1)
[ "$(sha256sum "$out.part" | cut -d' ' -f1)" = "$expected" ] || { echo "bench-30k.mdb does not match SHA256SUMS" >&2; exit 1; }
mv "$out.part" "$out"
