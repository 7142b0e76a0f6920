# Shared by the benchmark scripts, which source it: a private work directory,
# nginx on 127.0.0.1 serving $work/www (started through scripts/nginx.sh), and
# the helpers that turn runs into figures and verdicts. BENCH_TMPDIR, when
# set, is where the work directory goes (e.g. a tmpfs).

. "$(dirname "${BASH_SOURCE[0]}")/../scripts/nginx.sh"

work=$(mktemp -d -p "${BENCH_TMPDIR:-${TMPDIR:-/tmp}}")
chmod 755 "$work"
# Servers besides the current nginx (keep_server) and other background jobs
# (keep_pid) are stopped on exit too.
kept_pids=()
keep_pid() { kept_pids+=("$1"); }
keep_server() {
    keep_pid "$NGINX_PID"
    NGINX_PID=
}
cleanup() {
    nginx_stop
    local pid
    for pid in "${kept_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www"

# require_tools <command>...: exits 2 naming the first command that is missing.
require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/deps.sh installs it)" >&2; exit 2; }
    done
}

# serve_www <probe path>: starts nginx on a free port and sets $base to its address.
serve_www() {
    # Tuned for throughput: no per-request log, full packets, one connection for many files.
    nginx_serve "$work/nginx" "$work/www" "/$1" \
        "access_log off; tcp_nopush on; keepalive_requests 100000;" || exit 2
    base="http://127.0.0.1:$NGINX_PORT"
}

# make_certificates <dir>: a private CA (ca.pem) and a certificate for
# 127.0.0.1 signed by it (server.pem, server.key).
make_certificates() {
    local d=$1
    mkdir -p "$d"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=bench-ca \
        -keyout "$d/ca.key" -out "$d/ca.pem" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout "$d/server.key" -out "$d/server.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1\n' >"$d/ext"
    openssl x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -CAcreateserial -days 2 \
        -extfile "$d/ext" -out "$d/server.pem" 2>/dev/null
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { sort -g | awk '{ v[NR] = $1 } END { printf "%.0f%%", 100 * (v[NR] - v[1]) / v[int((NR + 1) / 2)] }'; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

status=0
verdict() {
    # verdict <label> <value> <baseline> <figure> <comparison: >=, <= or <> <target> <unit>
    local ok
    ok=$(awk -v r="$4" -v t="$6" -v c="$5" \
        'BEGIN { print (c == ">=" ? r >= t : c == "<" ? r < t : r <= t) ? "ok" : "MISSED" }')
    [ "$ok" = ok ] || status=1
    printf '%-36s %10s   baseline %10s   %s %-8s (target %s %s) %s\n' "$1" "$2" "$3" "$7" "$4" "$5" "$6" "$ok"
}
