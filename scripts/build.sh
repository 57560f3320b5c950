#!/bin/bash
# SPDX-License-Identifier: MIT
# Configures and builds one build folder: build.sh DIR [cmake options...]
# The project's own builds treat warnings as errors and build the benchmarks too; options
# given after DIR come last and win.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" -G Ninja -DORVANE_WERROR=ON -DORVANE_BENCH=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
