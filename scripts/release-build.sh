#!/usr/bin/env bash
# Builds the updater that players get, and the release tool that goes with
# it, into a directory of its own (build-release/), never shared with the
# development, demo or test builds:
#
#   bash scripts/release-build.sh --update-host update.example.com \
#       --public-key vendor_public.der --release-key alice.pub --release-key bob.pub \
#       --threshold 2
#
# Every argument is checked before anything is built; a refused command line
# exits with 2. Relative paths are taken from the directory the script is
# started in. At the end it prints what `update --version` of the build says.
set -euo pipefail

usage() {
    cat <<'TEXT'
Usage: bash scripts/release-build.sh --update-host HOST --public-key FILE.der
           --release-key FILE.pub [--release-key FILE.pub ...] --threshold N
           [--revoked-key FILE.pub ...] [--legacy-below N] [--build-dir DIR]
           [--allow-local-server] [--allow-demo-keys]

  --update-host HOST     host name of the update server the players' updaters ask
  --public-key FILE.der  RSA public key (DER) that verifies product inis
  --release-key FILE     Ed25519 public key file (64 hexadecimal digits) of a signer;
                         repeat it, or separate files with ';'
  --threshold N          how many distinct release keys must sign a release
  --revoked-key FILE     a release key whose signatures never count (repeatable)
  --legacy-below N       releases below version N may come without a manifest
  --build-dir DIR        where to build (default: build-release/ in the repository)
  --allow-local-server   accept an update server on this machine (127.*, localhost, ::1)
  --allow-demo-keys      accept the public demo keys of keys/ (never for players)
TEXT
}

refuse() {
    echo "release-build: $*" >&2
    exit 2
}

# The key's 64 hexadecimal digits, in lower case, from a .pub file.
read_key() {
    local file=$1 key
    [ -f "$file" ] || refuse "no such key file: $file"
    key=$(head -c 128 -- "$file" | head -n 1 | tr -d '\000[:space:]' | tr 'A-F' 'a-f')
    [[ "$key" =~ ^[0-9a-f]{64}$ ]] \
        || refuse "$file does not hold an Ed25519 public key (64 hexadecimal digits; the .pub of keygen --ed25519)"
    printf '%s' "$key"
}

# Every file name of a repeatable option, split at ';', made absolute against
# the caller's directory.
add_files() {
    local -n list=$1
    local item items
    IFS=';' read -r -a items <<<"$2"
    for item in "${items[@]}"; do
        [ -z "$item" ] || list+=("$(realpath -m -- "$item")")
    done
}

host=
public_key=
release_files=()
revoked_files=()
threshold=
legacy_below=0
build_dir=
allow_local=0
allow_demo=0
while [ $# -gt 0 ]; do
    option=$1
    case "$option" in
    --allow-local-server) allow_local=1; shift; continue ;;
    --allow-demo-keys) allow_demo=1; shift; continue ;;
    -h | --help) usage; exit 0 ;;
    --update-host | --public-key | --release-key | --threshold | --revoked-key | --legacy-below | --build-dir)
        [ $# -ge 2 ] || refuse "$option needs a value"
        value=$2
        shift 2
        ;;
    *) usage >&2; refuse "unknown argument: $option" ;;
    esac
    case "$option" in
    --update-host) host=$value ;;
    --public-key) public_key=$(realpath -m -- "$value") ;;
    --release-key) add_files release_files "$value" ;;
    --revoked-key) add_files revoked_files "$value" ;;
    --threshold) threshold=$value ;;
    --legacy-below) legacy_below=$value ;;
    --build-dir) build_dir=$(realpath -m -- "$value") ;;
    esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${build_dir:-$root/build-release}

[ -n "$host" ] || refuse "--update-host is required: the host name of the update server the players' updaters ask"
[ -n "$public_key" ] || refuse "--public-key is required: the RSA public key (DER) that verifies product inis"
[ ${#release_files[@]} -gt 0 ] || refuse "--release-key is required: the .pub file of each signer's Ed25519 key"
[ -n "$threshold" ] || refuse "--threshold N is required: how many release keys must sign a release"
[[ "$threshold" =~ ^[1-9][0-9]*$ ]] || refuse "--threshold takes a whole number from 1, not '$threshold'"
[[ "$legacy_below" =~ ^[0-9]+$ ]] || refuse "--legacy-below takes a version number, not '$legacy_below'"

# A host name or an IPv6 address; no scheme, port or path.
[[ "$host" =~ ^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9.])?$ || "$host" =~ ^[0-9A-Fa-f]*:[0-9A-Fa-f:.]*:[0-9A-Fa-f.]*$ ]] \
    || refuse "--update-host takes a host name or address alone (no scheme, port or path): '$host'"
host_lower=$(tr 'A-Z' 'a-z' <<<"$host")
if [[ "$host_lower" =~ ^(127\.[0-9.]+|localhost\.?|.*\.localhost\.?|::1?|0\.0\.0\.0)$ ]]; then
    [ "$allow_local" = 1 ] || refuse "--update-host $host is this machine: every player's updater would ask" \
        "itself for the current version. Name the update server's host (or give --allow-local-server" \
        "for a build that only this machine uses)."
fi

[ -f "$public_key" ] || refuse "no such key file: $public_key"
release_keys=()
for file in "${release_files[@]}"; do
    release_keys+=("$(read_key "$file")")
done
revoked_keys=()
for file in "${revoked_files[@]}"; do
    revoked_keys+=("$(read_key "$file")")
done

if [ "$allow_demo" = 0 ]; then
    demo_refusal="is a public demo key of keys/: anyone can sign with it. Name the studio's own key (or give --allow-demo-keys for a build that no player gets)."
    cmp -s "$public_key" "$root/keys/demo_public.der" && refuse "--public-key $public_key $demo_refusal"
    for number in 1 2; do
        demo_key=$(read_key "$root/keys/demo_ed25519_$number.pub")
        for i in "${!release_keys[@]}"; do
            [ "${release_keys[$i]}" != "$demo_key" ] || refuse "--release-key ${release_files[$i]} $demo_refusal"
        done
    done
fi

# A directory that a development build configured keeps that build's
# settings (tests, sanitizers, compiler) in its cache.
if [ -f "$build_dir/CMakeCache.txt" ] && ! grep -qx 'BUILD_TESTING:BOOL=OFF' "$build_dir/CMakeCache.txt"; then
    refuse "$build_dir holds a development build; a release build needs a directory of its own (--build-dir)"
fi

cd "$root"
bash scripts/deps.sh
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Every setting is given, so nothing an earlier configure left decides.
cmake -S . -B "$build_dir" "${launcher[@]}" -DBUILD_TESTING=OFF -DVOXMEADOW_FUZZ=OFF -DVOXMEADOW_SANITIZE= \
    -DVOXMEADOW_UPDATE_HOST="$host" -DVOXMEADOW_PUBLIC_KEY="$public_key" \
    -DVOXMEADOW_RELEASE_KEYS="$(IFS=';'; echo "${release_keys[*]}")" -DVOXMEADOW_RELEASE_THRESHOLD="$threshold" \
    -DVOXMEADOW_REVOKED_KEYS="$(IFS=';'; echo "${revoked_keys[*]}")" -DVOXMEADOW_LEGACY_BELOW="$legacy_below" \
    >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target update voxmeadow-release

echo
echo "Built in $build_dir:"
echo "  src/update and src/translations/, what players get; into a client tree CLIENT with"
echo "    cmake --install $build_dir --prefix CLIENT --strip"
echo "  tools/release/voxmeadow-release, whose check-mirror trusts the same keys"
echo "update --version says:"
"$build_dir/src/update" --version
