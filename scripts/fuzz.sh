#!/bin/bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang and runs each one for a short while over its
# seeds: fuzz.sh [SECONDS_PER_TARGET]. A crash, leak or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
bash scripts/install-deps.sh
CC=clang-14 CXX=clang++-14 bash scripts/build.sh build-fuzz -DORVANE_FUZZ=ON -DBUILD_TESTING=OFF \
    -DORVANE_BENCH=OFF -DORVANE_QT=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
source scripts/sanitizer-options.sh
status=0
for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=${target##*/fuzz_}
    seeds=$(cat "build-fuzz/fuzz/$name.seeds" 2>/dev/null || true)
    # A target's own limits, such as one allocation over the bounds its code keeps.
    read -ra options <<<"$(cat "build-fuzz/fuzz/$name.options" 2>/dev/null || true)"
    work=$(mktemp -d)
    dirs=("$work")
    IFS=: read -ra extra <<<"$seeds"
    for d in "${extra[@]}"; do [ -d "$d" ] && dirs+=("$d"); done
    echo "== fuzz $name (${seconds}s)"
    # A fixed seed makes the run repeat itself: what CI finds, a developer finds again.
    if ! "$target" -seed=1 -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=0 "${options[@]}" "${dirs[@]}" >"$work.log" 2>&1; then
        tail -40 "$work.log"
        status=1
    fi
    rm -rf "$work" "$work.log"
done
exit $status
