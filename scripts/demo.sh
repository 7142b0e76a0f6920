#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a whole update: publishes
# versions 1 and 2 of a small demo client with the release tool, serves them
# from a local nginx through three mirror addresses, answers the updater's
# version and banner queries with the reference update server on 127.0.0.1,
# lays out build/demo/install as an installed version 1 and lets `update`
# bring it to the version the server offers, unattended.
# The updated client starts by itself and the window closes; then the
# installation is compared with the published version 2.
#
#   bash scripts/demo.sh                        # the unattended update
#   bash scripts/demo.sh client_linux_amd64 2   # other arguments for `update`
#
# Everything lives below build/demo and is made afresh on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-setup.sh

args=(--nouser)
unattended=1
if [ $# -gt 0 ]; then
    args=("$@")
    unattended=0
fi
# Without a display nobody can answer a message box: give up after a while.
run=()
limit=120
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || run=(xvfb-run -a timeout "$limit")
echo "== running: update$(printf ' %q' "${args[@]}")"
# The session directory goes below build/demo too, so that a run that did not
# finish leaves nothing behind once the next demo starts afresh.
mkdir -p "$demo/tmp"
status=0
TMPDIR=$demo/tmp "${run[@]}" "$install/update" "${args[@]}" || status=$?

failed() { echo "DEMO FAILED: $*" >&2; exit 1; }
[ "$status" -ne 124 ] || failed "update did not end within $limit s (a message box may be waiting; see the log above)"
[ "$status" -eq 0 ] || failed "update ended with exit code $status"
if [ "$unattended" = 1 ]; then
    for _ in $(seq 100); do
        [ -s "$install/demo-client.log" ] && break
        sleep 0.1
    done
    grep -q "demo client v2" "$install/demo-client.log" 2>/dev/null \
        || failed "the updated client did not start"
fi
# The release tool adds two files of its own to every release: the marker
# that names the version, and the changelog the manifest vouches for.
if ! diff -r --exclude=update --exclude=translations --exclude=mirrors.ini --exclude=update.ini \
    --exclude=update.digests --exclude=demo-client.log --exclude=voxmeadow.release \
    --exclude=voxmeadow.changelog "$demo/source/2" "$install"; then
    failed "$install differs from the published version 2"
fi
grep -qx "version	2" "$install/voxmeadow.release" || failed "the release marker does not name version 2"
cmp -s "$demo/changes.txt" "$install/voxmeadow.changelog" || failed "the installed changelog is not version 2's"
echo "DEMO OK: $install holds version 2 exactly as published"
