#!/usr/bin/env bash
# Configures and builds the project into build/ (warnings are errors).
# This is a development build, for the tests, the demo and the benchmarks:
# its update server is this machine, so that no test or demo run sends a
# query to the vendor's server, and it trusts the demo keys of keys/. Both
# are given on every run, so that whatever an earlier configure left in the
# cache does not decide; arguments (-DNAME=VALUE) override them. Players get
# the build of scripts/release-build.sh, in a directory of its own.
# BUILD_TARGETS="a b" builds only those targets (and what they need);
# BUILD_DIR=dir builds into dir instead of build/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${BUILD_DIR:-build}"
cmake -S . -B "$dir" -DVOXMEADOW_WERROR=ON -DVOXMEADOW_UPDATE_HOST=127.0.0.1 \
    -DVOXMEADOW_PUBLIC_KEY="$PWD/keys/demo_public.der" -DVOXMEADOW_RELEASE_KEYS="$(cat keys/demo_ed25519_1.pub)" \
    -DVOXMEADOW_RELEASE_THRESHOLD=1 -DVOXMEADOW_REVOKED_KEYS= -DVOXMEADOW_LEGACY_BELOW=0 "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
