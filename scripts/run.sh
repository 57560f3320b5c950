#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and runs the benchmark of the image operations.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
exec build/bench/orvane_bench_operations "$@"
