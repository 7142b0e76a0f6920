# Serves a directory over HTTP with a private nginx on 127.0.0.1. Source it:
#
#   source scripts/nginx.sh
#   nginx_serve STATE_DIR ROOT PROBE_PATH [SERVER_DIRECTIVES]
#   ... http://127.0.0.1:$NGINX_PORT/ ...
#   nginx_stop
#
# nginx_serve writes the configuration, pid and logs under STATE_DIR, runs
# nginx without daemon as a background job on a free port, waits until
# PROBE_PATH (e.g. "/1/client_linux_amd64.ini") answers 200 and sets
# NGINX_PORT and NGINX_PID. SERVER_DIRECTIVES go into the server block.
# Returns 1 (with nginx's logs on stderr) when no port could be used.
#
# With NGINX_TLS="CERT KEY CA" set, nginx speaks HTTPS and HTTP/2 with that
# certificate and the probe trusts CA.

NGINX_PORT=
NGINX_PID=

nginx_stop() {
    if [ -n "$NGINX_PID" ]; then
        kill "$NGINX_PID" 2>/dev/null || true
        wait "$NGINX_PID" 2>/dev/null || true
    fi
    NGINX_PID=
    NGINX_PORT=
}

_nginx_try_port() {
    local state=$1 root=$2 probe=$3 directives=$4 port=$5
    local user_line= listen_flags= tls_lines= scheme=http probe_ca=()
    if [ -n "${NGINX_TLS:-}" ]; then
        local cert key ca
        read -r cert key ca <<<"$NGINX_TLS"
        listen_flags=" ssl http2"
        tls_lines="ssl_certificate $cert; ssl_certificate_key $key;"
        scheme=https
        probe_ca=(--cacert "$ca")
    fi
    # Workers would otherwise run as nobody, who may not read ROOT.
    [ "$(id -u)" -eq 0 ] && user_line="user $(id -un) $(id -gn);"
    cat >"$state/nginx.conf" <<CONF
$user_line
worker_processes 1;
pid $state/nginx.pid;
error_log $state/logs/error.log;
events { worker_connections 256; }
http {
    access_log $state/logs/access.log;
    sendfile on;
    default_type application/octet-stream;
    client_body_temp_path $state/client_body;
    proxy_temp_path $state/proxy;
    fastcgi_temp_path $state/fastcgi;
    uwsgi_temp_path $state/uwsgi;
    scgi_temp_path $state/scgi;
    server {
        listen 127.0.0.1:$port$listen_flags;
        $tls_lines
        root $root;
        $directives
    }
}
CONF
    nginx -p "$state" -c "$state/nginx.conf" -g 'daemon off;' 2>>"$state/logs/start.log" &
    NGINX_PID=$!
    for _ in $(seq 50); do
        if curl -sf "${probe_ca[@]}" -o /dev/null "$scheme://127.0.0.1:$port$probe"; then
            NGINX_PORT=$port
            return 0
        fi
        kill -0 "$NGINX_PID" 2>/dev/null || break
        sleep 0.1
    done
    nginx_stop
    return 1
}

nginx_serve() {
    local state root
    state=$(realpath -m "$1")
    root=$(realpath -m "$2")
    mkdir -p "$state/logs"
    for _ in $(seq 20); do
        _nginx_try_port "$state" "$root" "$3" "${4:-}" $((20000 + RANDOM % 40000)) && return 0
    done
    echo "could not start nginx" >&2
    cat "$state/logs/"*.log >&2 2>/dev/null || true
    return 1
}
