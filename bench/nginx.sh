# Shared by the benchmark scripts, which source it: a private work directory,
# nginx on 127.0.0.1 serving $work/www, and the helpers that turn runs into
# figures and verdicts.

work=$(mktemp -d)
chmod 755 "$work"
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/nginx/logs"

# start_nginx <port> <probe path>: true once <probe path> answers on <port>.
start_nginx() {
    local user_line=
    [ "$(id -u)" -eq 0 ] && user_line="user $(id -un) $(id -gn);"
    cat >"$work/nginx/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000;
    default_type application/octet-stream;
    client_body_temp_path $work/nginx/client_body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server {
        listen 127.0.0.1:$1;
        root $work/www;
    }
}
CONF
    nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' 2>>"$work/nginx/logs/start.log" &
    nginx_pid=$!
    for _ in $(seq 50); do
        curl -sf -o /dev/null "http://127.0.0.1:$1/$2" && return 0
        kill -0 "$nginx_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
    nginx_pid=
    return 1
}

# serve_www <probe path>: starts nginx on a free port and sets $base to its address.
serve_www() {
    local port=
    for _ in $(seq 20); do
        local candidate=$((20000 + RANDOM % 40000))
        if start_nginx "$candidate" "$1"; then
            port=$candidate
            break
        fi
    done
    [ -n "$port" ] || { echo "could not start nginx" >&2; cat "$work/nginx/logs/"*.log >&2; exit 2; }
    base="http://127.0.0.1:$port"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }

status=0
verdict() {
    # verdict <label> <value> <baseline> <figure> <comparison: >=, <= or <> <target> <unit>
    local ok
    ok=$(awk -v r="$4" -v t="$6" -v c="$5" \
        'BEGIN { print (c == ">=" ? r >= t : c == "<" ? r < t : r <= t) ? "ok" : "MISSED" }')
    [ "$ok" = ok ] || status=1
    printf '%-36s %10s   baseline %10s   %s %-8s (target %s %s) %s\n' "$1" "$2" "$3" "$7" "$4" "$5" "$6" "$ok"
}
