#!/usr/bin/env bash
# Configures and builds the project into build/ (warnings are errors).
# This is a development build: its update server is this machine, so that no
# test or demo run sends a query to the vendor's server. A release build
# names the real host, e.g. -DVOXMEADOW_UPDATE_HOST=update.voxmeadow.net.
# BUILD_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DVOXMEADOW_WERROR=ON -DVOXMEADOW_UPDATE_HOST=127.0.0.1 "$@" >/dev/null
cmake --build build -j "$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
