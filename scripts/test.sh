#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds and runs every test.
#   test.sh             the default build (RelWithDebInfo)
#   test.sh --sanitize  the AddressSanitizer + UndefinedBehaviorSanitizer build
# The public conformance suites run too when a corpus is found: $ORVANE_CORPUS_DIR, else
# ../shared/corpus beside the source tree; without one they are reported skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

if [ "${1:-}" = "--sanitize" ]; then
    dir=build-sanitize
    bash scripts/build.sh "$dir" -DORVANE_SANITIZE=ON -DORVANE_BENCH=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    dir=build
    bash scripts/build.sh "$dir"
fi

export QT_QPA_PLATFORM=offscreen
# The other projects' encoders were installed above: a test that finds one missing fails.
export ORVANE_REQUIRE_TOOLS=1
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
