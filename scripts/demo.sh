#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a running updater.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
install_dir=build/demo-install
mkdir -p "$install_dir"
# Replace rather than overwrite, so a demo still running does not block the copy.
cp --remove-destination build/src/update "$install_dir/update"
run=()
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || run=(xvfb-run -a)
exec "${run[@]}" "$install_dir/update" "$@"
