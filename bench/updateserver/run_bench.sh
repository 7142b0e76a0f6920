#!/usr/bin/env bash
# UDP load on the reference update server, on 127.0.0.1 only.
#
#   bash bench/updateserver/run_bench.sh     (build directory: build/)
#   BUILD_DIR=... RUNS=5 SECONDS_PER_RUN=1 SOURCES=64 bash bench/updateserver/run_bench.sh
#
# Prints the version queries per second the server answers from SOURCES
# source ports next to a plain echo loop measured in the same runs (median
# and range over RUNS), and shows that with its default token bucket one
# source address gets no more than burst + rate x time answers.
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${BUILD_DIR:-build}
cmake --build "$build_dir" --target udploadbench -j2 >/dev/null
"$build_dir/bench/updateserver/udploadbench" "${RUNS:-5}" "${SECONDS_PER_RUN:-1}" "${SOURCES:-64}"
