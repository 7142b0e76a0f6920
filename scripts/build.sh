#!/usr/bin/env bash
# Configures and builds the project into build/ (warnings are errors).
# This is a development build: its update server is this machine, so that no
# test or demo run sends a query to the vendor's server. A release build
# names the real host, e.g. -DVOXMEADOW_UPDATE_HOST=update.voxmeadow.net.
# BUILD_TARGETS="a b" builds only those targets (and what they need);
# BUILD_DIR=dir builds into dir instead of build/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
cmake -S . -B "$dir" -DVOXMEADOW_WERROR=ON -DVOXMEADOW_UPDATE_HOST=127.0.0.1 "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
