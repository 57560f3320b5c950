#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds and runs every test.
#   test.sh             the default build (GCC, RelWithDebInfo), in build/
#   test.sh --clang     a Release build with Clang 14, in build-clang/
#   test.sh --sanitize  the AddressSanitizer + UndefinedBehaviorSanitizer build
# The public conformance suites run too when $ORVANE_CORPUS_DIR names the folder that holds
# them; without it they are reported skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

case "${1:-}" in
    "")
        dir=build
        bash scripts/build.sh "$dir"
        ;;
    --clang)
        dir=build-clang
        CC=clang-14 CXX=clang++-14 bash scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release
        ;;
    --sanitize)
        dir=build-sanitize
        bash scripts/build.sh "$dir" -DORVANE_SANITIZE=ON -DORVANE_BENCH=OFF
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
        source scripts/sanitizer-options.sh
        export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        ;;
    *)
        echo "usage: test.sh [--clang | --sanitize]" >&2
        exit 2
        ;;
esac

export QT_QPA_PLATFORM=offscreen
# The other projects' encoders were installed above: a test that finds one missing fails.
export ORVANE_REQUIRE_TOOLS=1
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
