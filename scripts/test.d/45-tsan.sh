#!/usr/bin/env bash
# Runs the engine's tests on the test databases under the thread sanitizer:
# a compaction checks its source on a thread of its own, may write through
# another, verifies its copy with two readers and flushes it meanwhile, and a
# repair salvages a damaged table ahead on one more.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/test.d/lib/testdata.sh
need_testdata tsan
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$(nproc)" --target jet_tests jet_compact_tests
export DORVANE_TESTDATA=$testdata
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# Without address-space randomisation where the system allows it (a container
# may not): the sanitizer's fixed layout of memory can clash with the wider
# randomisation of recent kernels.
unrandomised() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then setarch "$(uname -m)" -R "$@"; else "$@"; fi
}
status=0
unrandomised build/tsan/tests/jet/jet_tests --gtest_brief=1 &
jet=$!
unrandomised build/tsan/tests/jet_compact/jet_compact_tests --gtest_brief=1 || status=1
wait "$jet" || status=1
exit "$status"
