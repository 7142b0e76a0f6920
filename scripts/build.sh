#!/usr/bin/env bash
# Configures and builds the project into build/ (warnings are errors).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DVOXMEADOW_WERROR=ON "$@" >/dev/null
cmake --build build -j "$(nproc)"
