#!/usr/bin/env bash
# SIGKILL at seeded random moments of runs on the large benchmark back-end.
set -euo pipefail
python=$1 runs=$2
shift 2
testdata=""
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  [ "${args[$i]}" = "--testdata" ] && testdata=${args[$((i + 1))]}
done
work=$(mktemp -d /tmp/dorvane-kill.XXXXXX)
trap 'rm -rf "$work"' EXIT
xz -dc "$testdata/bench/bench-30k.mdb.xz" >"$work/post_db.mdb"
expected=$(grep 'bench-30k.mdb$' "$testdata/bench/SHA256SUMS" | cut -d' ' -f1)
actual=$(sha256sum "$work/post_db.mdb" | cut -d' ' -f1)
[ "$expected" = "$actual" ] || { echo "bench-30k.mdb does not match SHA256SUMS"; exit 1; }
"$python" "${args[@]}" --mode kill --sample "$runs" --seed 5 --backend "$work/post_db.mdb" --workdir "$work"
