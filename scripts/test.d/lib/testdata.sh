# Sourced by the test scripts: where the Access-made test databases are
# ($DORVANE_TESTDATA, else ../shared/testdata beside the checkout) and whether
# they are there. Without them a step that needs them is skipped with one
# line, unless scripts/test.sh has said it already (DORVANE_SKIP_SAID=1), or
# fails where DORVANE_REQUIRE_TESTDATA=1 (CI).
testdata=$(realpath -m "${DORVANE_TESTDATA:-$(dirname "${BASH_SOURCE[0]}")/../../../../shared/testdata}")

have_testdata() {
  [ -f "$testdata/products/post_db.mdb" ] && [ -f "$testdata/mdb/jet4/testV2000.mdb" ]
}

# Exits the calling step when the test databases are missing: with status 1
# where they are required, else 0 after saying what is skipped (once).
need_testdata() {
  have_testdata && return 0
  if [ "${DORVANE_REQUIRE_TESTDATA:-0}" = 1 ]; then
    echo "$1: the test databases are missing in $testdata (DORVANE_TESTDATA), and DORVANE_REQUIRE_TESTDATA=1" >&2
    exit 1
  fi
  [ "${DORVANE_SKIP_SAID:-0}" = 1 ] || echo "$1: skipped: no test databases in $testdata (set DORVANE_TESTDATA)"
  exit 0
}
