# Sourced by scripts/demo.sh and scripts/screenshots.sh: builds what the demo
# runs, publishes versions 1 and 2 of a small demo client with the release
# tool, serves them from a local nginx through three mirror addresses,
# answers the updater's version and banner queries with the reference update
# server on 127.0.0.1 and lays out $install as an installed version 1
# (install_version_1 lays it out afresh). Everything lives below build/demo.
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/deps.sh
# Only what the demo runs; the tests are not needed for it. The demo's updater
# takes a release only when both demo Ed25519 keys have signed its manifest.
BUILD_TARGETS="update voxmeadow-release voxmeadow-updateserver" bash scripts/build.sh \
    -DVOXMEADOW_RELEASE_KEYS="$(cat keys/demo_ed25519_1.pub);$(cat keys/demo_ed25519_2.pub)" \
    -DVOXMEADOW_RELEASE_THRESHOLD=2

demo=$PWD/build/demo
type=client_linux_amd64
release=build/tools/release/voxmeadow-release
updateserver=build/tools/updateserver/voxmeadow-updateserver
key=keys/demo_private.pem
# Both demo Ed25519 keys sign the release manifests, so that updaters built
# with either (threshold 1 or 2) take the releases.
manifest_keys=(--manifest-key keys/demo_ed25519_1.pem --manifest-key keys/demo_ed25519_2.pem)
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
    # Version 2 changes a few lines of the map: it comes as a small patch.
    content 2048 meadow | sed "1000,1009s/^/v$version /" >"$dir/data/maps/meadow.dat"
    content 1024 river >"$dir/data/maps/river.dat"
    content 1536 "engine-v$version" >"$dir/lib/libvxdemo.so"
    # As the linker makes a shared library, and as updaters install one.
    chmod 755 "$dir/lib/libvxdemo.so"
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
    "${manifest_keys[@]}" --pack '*.dat' --section-for 'lib/*=libs' --quiet
"$release" publish --source "$demo/source/2" --output "$demo/mirror" --version 2 --key "$key" \
    "${manifest_keys[@]}" --pack '*.dat' --section-for 'lib/*=libs' --previous-version 1 \
    --changelog "$demo/changes.txt" --quiet --patch-from "$demo/mirror/1"
# The signed channel record: which version each channel offers, and until
# when; version 2 is rolled out to every installation (a smaller share would
# keep some demo installations at version 1, by their random rollout id).
"$release" channels --output "$demo/mirror" "${manifest_keys[@]/--manifest-key/--key}" \
    --channel "stable=2:2.0 (demo)" --previous "stable=1:1.0 (demo)" --rollout stable=100 >/dev/null

# Three mirrors on one server: the root itself and two other prefixes.
nginx_serve "$demo/nginx" "$demo/mirror" "/2/$type.ini" \
    "limit_rate $rate; location /mirror-b/ { alias $demo/mirror/; } location /mirror-c/ { alias $demo/mirror/; }"
base=http://127.0.0.1:$NGINX_PORT
echo "== serving $demo/mirror at $base, $base/mirror-b and $base/mirror-c"
cp scripts/demo-data/banner.png "$demo/mirror/banner.png"

# A click anywhere on the ticker opens the comment's address; the link opens its own.
news="<!--URL=$base/2/changelog_client.txt--><b>Voxmeadow 3 demo:</b> hills and wind arrive with version 2, the birds fly away. <a href=\"$base/\">Browse the mirror</a>"
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
install_version_1() {
    rm -rf "$install"
    cp -a "$demo/source/1" "$install"
    cp build/src/update "$install/update"
    cp -r build/src/translations "$install/translations"
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
}
install_version_1
echo "== installed version 1 in $install"

