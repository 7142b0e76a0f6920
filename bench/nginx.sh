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

# serve_www <probe path> [directives]: starts nginx on a free port and sets
# $base to its address. The directives go into the server block; a location
# there may log its requests again with its own access_log.
serve_www() {
    # Tuned for throughput: no per-request log, full packets, one connection for many files.
    nginx_serve "$work/nginx" "$work/www" "/$1" \
        "access_log off; tcp_nopush on; keepalive_requests 100000; ${2:-}" || exit 2
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

# shell_install <dir>: installs from scratch as a shell would, and prints the
# seconds: curl -Z --parallel-max 3 by <dir>/curl.cfg into <dir>/download,
# md5sum -c of <dir>/sums.txt, and cp of the files in <dir>/keys.txt (below
# the directories of <dir>/dirs.txt) into <dir>/baseline.
shell_install() {
    local c=$1 t0 t1
    rm -rf "$c/download" "$c/baseline"
    mkdir -p "$c/baseline"
    t0=$(now)
    curl -s -S -f --no-progress-meter -Z --parallel-max 3 --create-dirs -K "$c/curl.cfg"
    (cd "$c/download" && md5sum -c --quiet "$c/sums.txt")
    (cd "$c/baseline" && xargs -a "$c/dirs.txt" -d '\n' mkdir -p)
    (cd "$c/download" && xargs -a "$c/keys.txt" -d '\n' cp --parents -t "$c/baseline")
    t1=$(now)
    elapsed "$t0" "$t1"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { sort -g | awk '{ v[NR] = $1 } END { printf "%.0f%%", 100 * (v[NR] - v[1]) / v[int((NR + 1) / 2)] }'; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
# timed <command>...: runs the command and prints the seconds it took.
timed() {
    local t0 t1
    t0=$(now)
    "$@"
    t1=$(now)
    elapsed "$t0" "$t1"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# stamp <log> <line>: the seconds since start-up at which the program wrote
# the line to its log. The program writes what 100 ms gathered at once, and
# only the first line of such a write carries the time.
stamp() { awk -v l="$2" '/^ *[0-9]+\.[0-9]+ / { t = $1; sub(/^ *[0-9.]+ /, "") } $0 == l { print t; exit }' "$1"; }

# sample_memory <pid>: reads the process's private (RssAnon) and whole
# (VmRSS) resident size about every 10 ms until it ends, and prints
# "anon_first_kib=<k> anon_peak_kib=<k> rss_peak_kib=<k> samples=<n> interval_ms=<mean>".
# A Python loop, not a shell one: a fork per sample would stretch the
# interval tenfold on a busy machine and miss short peaks.
sample_memory() {
    python3 - "$1" <<'PY'
import sys, time
n, first, anon_peak, rss_peak = 0, None, 0, 0
start = time.monotonic()
while True:
    try:
        with open(f"/proc/{sys.argv[1]}/status") as status:
            fields = dict(line.split(":", 1) for line in status if ":" in line)
        # A process that has ended (or is a zombie) has no resident sizes.
        anon, rss = (int(fields[k].split()[0]) for k in ("RssAnon", "VmRSS"))
    except (OSError, KeyError, ValueError):
        break
    n += 1
    first = anon if first is None else first
    anon_peak, rss_peak = max(anon_peak, anon), max(rss_peak, rss)
    time.sleep(0.01)
interval = (time.monotonic() - start) * 1000 / max(n, 1)
print(f"anon_first_kib={first or 0} anon_peak_kib={anon_peak} rss_peak_kib={rss_peak} samples={n} "
      f"interval_ms={interval:.1f}")
PY
}

# run_program <update binary> <installation> <session parent> <type> <version> <log>:
# copies the program into the installation (it works on the directory it is
# in), runs `update --nouser TYPE VERSION` there on the offscreen platform
# with its session directory below <session parent>, and prints
# "wall=<s> startup=<s> fetch=<s> install=<s> exit=<s> idle_rss_kib=<k> maxrss_kib=<k>":
# wall is the outside time less the two fixed waits of --nouser (2 s before
# the update starts, 1 s after it before the client would start); the log's
# time stamps (to the 100 ms in which the program gathers its log lines)
# split the rest into start-up, product ini and list and downloads,
# installation (with the flush and the clean-up), and exit. The
# idle size is the resident size during the first wait; the peak is GNU time's.
# With SAMPLE_MEMORY=<file> set, sample_memory follows the program from
# that wait on and writes its line to the file.
run_program() {
    local inst=$2 log=$6 t0 t1 pid child="" idle=0 rc=0 started installing finished sampler=""
    cp "$1" "$inst/update"
    t0=$(now)
    TMPDIR="$3" QT_QPA_PLATFORM=offscreen QT_MESSAGE_PATTERN='%{time process} %{message}' \
        /usr/bin/time -f 'maxrss_kib=%M' -o "$log.time" "$inst/update" --nouser "$4" "$5" 2>"$log" &
    pid=$!
    sleep 1.5
    child=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null || true)
    [ -z "$child" ] || idle=$(awk '/^VmRSS:/ { print $2 }' "/proc/${child%% *}/status" 2>/dev/null || echo 0)
    if [ -n "${SAMPLE_MEMORY:-}" ] && [ -n "$child" ]; then
        sample_memory "${child%% *}" >"$SAMPLE_MEMORY" &
        sampler=$!
    fi
    wait "$pid" || rc=$?
    [ -z "$sampler" ] || wait "$sampler"
    t1=$(now)
    started=$(stamp "$log" "Starting update process")
    installing=$(stamp "$log" "Starting file updates")
    finished=$(stamp "$log" "Update successfully finished")
    if [ "$rc" != 0 ] || [ -z "$started" ] || [ -z "$installing" ] || [ -z "$finished" ]; then
        echo "update --nouser failed (exit $rc)" >&2
        tail -5 "$log" >&2
        return 2
    fi
    awk -v t0="$t0" -v t1="$t1" -v s="$started" -v i="$installing" -v d="$finished" -v idle="$idle" \
        -v rss="$(field maxrss_kib <"$log.time")" 'BEGIN {
        printf "wall=%.3f startup=%.3f fetch=%.3f install=%.3f exit=%.3f idle_rss_kib=%d maxrss_kib=%d\n",
            t1 - t0 - 3, s - 2, i - s, d - i, t1 - t0 - d - 1, idle, rss
    }'
}

# run_console <program> <installation> <tmpdir> <type> <version> <log>: runs
# `update --console TYPE VERSION` from the installation as a server would,
# with no display, and prints "wall=<s> idle_rss_kib=<k> maxrss_kib=<k>" (it
# has no fixed waits). The console never waits idle, so its idle size is the
# peak of `update --console --check TYPE VERSION` from the same installation
# just before: the same program started, its configuration read, nothing
# fetched or listed. Both peaks are GNU time's.
run_console() {
    local inst=$2 log=$6 t0 t1 rc=0
    cp "$1" "$inst/update"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TMPDIR="$3" /usr/bin/time -f 'maxrss_kib=%M' \
        -o "$log.idle" "$inst/update" --console --check "$4" "$5" >/dev/null 2>&1 || true
    t0=$(now)
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TMPDIR="$3" /usr/bin/time -f 'maxrss_kib=%M' \
        -o "$log.time" "$inst/update" --console "$4" "$5" >"$log" 2>&1 || rc=$?
    t1=$(now)
    if [ "$rc" != 0 ]; then
        echo "update --console failed (exit $rc)" >&2
        tail -5 "$log" >&2
        return 2
    fi
    awk -v t0="$t0" -v t1="$t1" -v idle="$(field maxrss_kib <"$log.idle")" \
        -v rss="$(field maxrss_kib <"$log.time")" \
        'BEGIN { printf "wall=%.3f idle_rss_kib=%d maxrss_kib=%d\n", t1 - t0, idle, rss }'
}

# pair_ratios <ours file> <baseline file>: the per-run ratios, one a line.
pair_ratios() { paste "$1" "$2" | awk '{ printf "%.3f\n", $1 / $2 }'; }
range() { sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f..%.2f", lo, hi }'; }
seconds() { awk -v s="$1" 'BEGIN { printf "%.3f s", s }'; }
# report <label> <ours file> <baseline file> <comparison> <target>
report() {
    local ours base r
    ours=$(median <"$2")
    base=$(median <"$3")
    r=$(pair_ratios "$2" "$3" | median)
    verdict "$1" "$(seconds "$ours")" "$(seconds "$base")" "$r" "$4" "$5" \
        "ratio (runs $(pair_ratios "$2" "$3" | range))"
}

status=0
verdict() {
    # verdict <label> <value> <baseline> <figure> <comparison: >=, <= or <> <target> <unit>
    local ok
    ok=$(awk -v r="$4" -v t="$6" -v c="$5" \
        'BEGIN { print (c == ">=" ? r >= t : c == "<" ? r < t : r <= t) ? "ok" : "MISSED" }')
    [ "$ok" = ok ] || status=1
    printf '%-42s %10s   baseline %10s   %s %-8s (target %s %s) %s\n' "$1" "$2" "$3" "$7" "$4" "$5" "$6" "$ok"
}
