#!/usr/bin/env bash
# Renders screenshots of the updater's window into docs/, on a private Xvfb
# display, with the demo's servers and installation (scripts/demo-setup.sh):
#
#   docs/screenshot-start.png      news ticker, banner, "Start Update"
#   docs/screenshot-download.png   a run downloading, with Pause, time left and the log
#   docs/screenshot-paused.png     the same run paused: the counter stays
#   docs/screenshot-finished.png   "Voxmeadow 3 is up to date: version 2"
#   docs/screenshot-changelog.png  the changelog of version 2
#   docs/screenshot-failed.png     a file no mirror has: the failure box
#   docs/screenshot-german.png     the finished run in German, changelog open
#
#   bash scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# The demo serves slowly enough to catch the download under way.
source scripts/demo-setup.sh
cmake --build build --target voxmeadow-screengrab -j "$(nproc)" >/dev/null
grabber=$PWD/build/tools/screengrab/voxmeadow-screengrab
mkdir -p docs

display=:$((RANDOM % 400 + 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$demo/xvfb.log" 2>&1 &
xvfb_pid=$!
update_pid=
stop_screens() {
    [ -z "$update_pid" ] || kill "$update_pid" 2>/dev/null || true
    kill "$xvfb_pid" 2>/dev/null || true
    cleanup
}
trap stop_screens EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# The title in English or German.
title="^Voxmeadow 3 Client.Update$"
log=$demo/update-screens.log

# start_updater [env assignments...]: a user-mode run of the demo installation.
start_updater() {
    install_version_1
    mkdir -p "$demo/tmp"
    env TMPDIR="$demo/tmp" "$@" "$install/update" >"$log" 2>&1 &
    update_pid=$!
    window=$(xdotool search --sync --onlyvisible --name "$title" | head -1)
    xdotool windowmove "$window" 20 20
    sleep 3
}
stop_updater() {
    kill "$update_pid" 2>/dev/null || true
    wait "$update_pid" 2>/dev/null || true
    update_pid=
}
# click_button <from the left|from the right> <x offset>: the bottom button row.
click_button() {
    eval "$(xdotool getwindowgeometry --shell "$window")"
    local x=$2
    [ "$1" = right ] && x=$((WIDTH - $2))
    xdotool mousemove --window "$window" "$x" $((HEIGHT - 22)) click 1
}
wait_for_log() {
    for _ in $(seq 600); do
        grep -q "$1" "$log" && return 0
        sleep 0.2
    done
    echo "SCREENSHOTS FAILED: no \"$1\" in the log" >&2
    cat "$log" >&2
    exit 1
}
# show_changelog: clicks "View Changes" and moves the dialog beside the window.
show_changelog() {
    click_button left 140
    local dialog
    dialog=$(xdotool search --sync --onlyvisible --name "^(Changelog|.*nderungsprotokoll)$" | head -1)
    xdotool windowmove "$dialog" 300 190
}
grab() {
    sleep "${2:-1}"
    "$grabber" "docs/screenshot-$1.png"
    echo "== docs/screenshot-$1.png"
}

start_updater LC_ALL=C
grab start
click_button right 55
wait_for_log "Downloading files"
click_button left 45
grab download 3
# Pause sits left of the start button.
click_button right 150
wait_for_log "Downloads paused"
grab paused 2
click_button right 150
wait_for_log "Update successfully finished"
grab finished
show_changelog
grab changelog 3
stop_updater

# A file that no mirror has.
missing=$(find "$demo/mirror/2" -name 'wind.dat*' | head -1)
mv "$missing" "$missing.hidden"
start_updater LC_ALL=C
click_button right 55
wait_for_log "Update cancelled"
grab failed 2
stop_updater
mv "$missing.hidden" "$missing"

start_updater LC_ALL=de_DE.UTF-8
click_button right 55
wait_for_log "Update successfully finished"
show_changelog
grab german 3
stop_updater
