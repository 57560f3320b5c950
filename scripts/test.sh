#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds and runs every test.
#   test.sh             the release build
#   test.sh --sanitize  the AddressSanitizer + UndefinedBehaviorSanitizer build
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
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
