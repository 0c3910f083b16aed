#!/usr/bin/env bash
# Starts nginx on a free loopback port, serving a folder, with every file of its own in a
# scratch folder; prints the port. Requests may come through a proxy variable in absolute
# form ("GET http://any.host/x HTTP/1.0"): nginx answers them from the same folder.
#   loopback_nginx.sh start <www-folder> <scratch-folder> [<cert> <key> [<directives>]]
#     -> prints the port; with a certificate and its key the server speaks only https, and
#        directives (nginx text) go into its server block
#   loopback_nginx.sh stop <scratch-folder>
set -euo pipefail
cmd=$1
case "$cmd" in
  start)
    www=$(realpath "$2"); scratch=$(realpath "$3")
    tls=""; extra=${6:-}
    if [ -n "${4:-}" ]; then
      tls="ssl; ssl_certificate $(realpath "$4"); ssl_certificate_key $(realpath "$5")"
    fi
    mkdir -p "$scratch/nginx/tmp"
    for attempt in 1 2 3 4 5 6 7 8; do
      port=$(( 20000 + RANDOM % 20000 ))
      cat > "$scratch/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon on;
pid $scratch/nginx/nginx.pid;
error_log $scratch/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $scratch/nginx/access.log;
  client_body_temp_path $scratch/nginx/tmp;
  proxy_temp_path $scratch/nginx/tmp;
  fastcgi_temp_path $scratch/nginx/tmp;
  uwsgi_temp_path $scratch/nginx/tmp;
  scgi_temp_path $scratch/nginx/tmp;
  types { text/plain ini txt; application/zip zip; }
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$port ${tls:+$tls};
    server_name _;
    root $www;
    $extra
  }
}
CONF
      if nginx -p "$scratch/nginx" -c "$scratch/nginx/nginx.conf" 2>/dev/null; then
        echo "$port"
        exit 0
      fi
    done
    echo "loopback_nginx: nginx would not start (see $scratch/nginx/error.log)" >&2
    exit 1
    ;;
  stop)
    scratch=$(realpath "$2")
    if [ -f "$scratch/nginx/nginx.pid" ]; then
      kill "$(cat "$scratch/nginx/nginx.pid")" 2>/dev/null || true
    fi
    ;;
  *) echo "usage: $0 start <www> <scratch> | stop <scratch>" >&2; exit 2 ;;
esac
