#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds, and starts Orvane with the given arguments: the window
# on a desktop (`run.sh` or `run.sh FILE...`), or any command of the command line
# (`run.sh convert --to png photos/`, `run.sh formats`).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
exec build/app/orvane "$@"
