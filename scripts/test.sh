#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a passing test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/format.sh --check
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
