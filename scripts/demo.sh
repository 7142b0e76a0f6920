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
bash scripts/deps.sh
bash scripts/build.sh

demo=$PWD/build/demo
type=client_linux_amd64
release=build/tools/release/voxmeadow-release
updateserver=build/tools/updateserver/voxmeadow-updateserver
key=keys/demo_private.pem
# Slow enough per download to watch the progress bar and the transfer figures.
rate=512k

source scripts/nginx.sh
server_pid=
cleanup() {
    nginx_stop
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

rm -rf "$demo"
mkdir -p "$demo"
# Qt wants a private runtime directory; a root shell often has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$demo/runtime"
    export XDG_RUNTIME_DIR=$demo/runtime
fi

# Deterministic, somewhat compressible content: content <KiB> <seed>.
content() {
    head -c $(($1 * 768)) /dev/zero | openssl enc -aes-128-ctr -nosalt -pbkdf2 -pass "pass:$2" | base64 -w 76
}

make_client() {
    local version=$1 dir=$demo/source/$1
    mkdir -p "$dir/data/maps" "$dir/data/sounds" "$dir/lib" "$dir/docs"
    cat >"$dir/vx3client_runscript.sh" <<SCRIPT
#!/bin/sh
# Demo client: says which version it is, on the terminal and in demo-client.log.
cd "\$(dirname "\$0")" || exit 1
echo "Voxmeadow 3 demo client v$version (\$(cat docs/version.txt))" | tee -a demo-client.log
SCRIPT
    chmod 755 "$dir/vx3client_runscript.sh"
    echo "release $version.0" >"$dir/docs/version.txt"
    content 2048 "meadow-v$version" >"$dir/data/maps/meadow.dat"
    content 1024 river >"$dir/data/maps/river.dat"
    content 1536 "engine-v$version" >"$dir/lib/libvxdemo.so"
    if [ "$version" = 1 ]; then
        content 512 birds >"$dir/data/sounds/birds.dat"
    else
        content 3072 hills >"$dir/data/maps/hills.dat"
        content 256 wind >"$dir/data/sounds/wind.dat"
    fi
}

echo "== publishing versions 1 and 2 of the demo client into $demo/mirror"
make_client 1
make_client 2
printf 'Version 2: new hills map, new wind sounds, the bird sounds are gone.\n' >"$demo/changes.txt"
"$release" publish --source "$demo/source/1" --output "$demo/mirror" --version 1 --key "$key" \
    --pack '*.dat' --section-for 'lib/*=libs' --quiet
"$release" publish --source "$demo/source/2" --output "$demo/mirror" --version 2 --key "$key" \
    --pack '*.dat' --section-for 'lib/*=libs' --previous-version 1 --changelog "$demo/changes.txt" --quiet

# Three mirrors on one server: the root itself and two other prefixes.
nginx_serve "$demo/nginx" "$demo/mirror" "/2/$type.ini" \
    "limit_rate $rate; location /mirror-b/ { alias $demo/mirror/; } location /mirror-c/ { alias $demo/mirror/; }"
base=http://127.0.0.1:$NGINX_PORT
echo "== serving $demo/mirror at $base, $base/mirror-b and $base/mirror-c"
cp scripts/demo-data/banner.png "$demo/mirror/banner.png"

news="<b>Voxmeadow 3 demo:</b> hills and wind arrive with version 2, the birds fly away. <!--$base/2/changelog_client.txt-->"
"$updateserver" --stable "2#2.0 (demo)" --news "$news" \
    --banner "$base/banner.png" --banner-click "$base/2/changelog_client.txt" >"$demo/updateserver.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
    grep -q "^versions on" "$demo/updateserver.log" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q "^versions on" "$demo/updateserver.log" 2>/dev/null; then
    cat "$demo/updateserver.log" >&2
    echo "DEMO FAILED: the update server could not listen on 127.0.0.1 (UDP ports 17384 and 2009 in use?)" >&2
    exit 1
fi
echo "== update server on 127.0.0.1 offers version 2 on the Stable channel"

install=$demo/install
cp -a "$demo/source/1" "$install"
cp build/src/update "$install/update"
cat >"$install/mirrors.ini" <<INI
[mirrors]
size=3
1\\mirror=a
2\\mirror=b
3\\mirror=c
[a]
url=$base
[b]
url=$base/mirror-b
[c]
url=$base/mirror-c
INI
echo "== installed version 1 in $install"

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
if ! diff -r --exclude=update --exclude=mirrors.ini --exclude=update.ini --exclude=update.digests \
    --exclude=demo-client.log \
    "$demo/source/2" "$install"; then
    failed "$install differs from the published version 2"
fi
echo "DEMO OK: $install holds version 2 exactly as published"
