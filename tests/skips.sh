#!/bin/sh
# The verdicts ctest gives the tests' main (main.cpp) with the properties
# every GoogleTest program's tests have (gtests.cmake): a test skipped, in
# itself or in the global set-up, is not run; one that failed is failed,
# also after printing what a skip prints, and so is a run that fails after
# its test skipped.  The cases of skip_test.cpp, which pass in the suite,
# run here with SCANDEC_SKIPCHECK set, under a ctest of their own in a
# folder of its own, so that its logs leave the suite's alone.
#   skips.sh CTEST FILE   (FILE: what ctest includes for skip_tests)
set -eu
ctest=$1 include=$2
[ -f "$include" ] || { echo "skips: no $include" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf 'include("%s")\n' "$include" >"$tmp/CTestTestfile.cmake"
if SCANDEC_SKIPCHECK=1 "$ctest" --test-dir "$tmp" >"$tmp/log" 2>&1; then
  echo "skips: ctest passed a run with failures" >&2
  cat "$tmp/log" >&2
  exit 1
fi
status=0
want() { # TEST VERDICT: ctest's line for the test, "Test #N: TEST ....***Failed"
  grep -Eq "Test +#[0-9]+: $1 \.*(\*\*\*)? *$2 " "$tmp/log" ||
    { echo "skips: $1 is not reported $2" >&2; status=1; }
}
want Skips.Passes Passed
want Skips.InTheTest Skipped
want Skips.InTheGlobalSetUp Skipped
want Skips.NotAfterPrintingTheSkipTextAndFailing Failed
want Skips.NotWhenTheRunFailsAfterTheSkip Failed
[ "$status" = 0 ] || cat "$tmp/log" >&2
exit "$status"
