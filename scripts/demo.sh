#!/usr/bin/env bash
# The main job on its embedded defaults: builds, installs a program folder in
# a temporary place, puts nginx on loopback behind the filtering service
# (started through the standalone service backend), sends a clean request
# and an attack, shows what happened, and removes everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."

WEB_PORT=${WEB_PORT:-18081}   # where nginx really listens
FILTER_PORT=${FILTER_PORT:-18080} # the filtered port clients use

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target ostrum svcctl

work=$(mktemp -d /tmp/ostrum-demo-XXXXXX)
app="$work/app"
export OSTRUM_SVC_ROOT="$work/registry"
nginx_conf="$work/nginx/nginx.conf"

cleanup() {
  set +e
  [ -x "$app/svcctl" ] && "$app/svcctl" stop Ostrum >/dev/null 2>&1
  [ -x "$app/ostrum" ] && (cd "$app" && ./ostrum -u >/dev/null 2>&1)
  [ -f "$work/nginx/nginx.pid" ] && nginx -c "$nginx_conf" -s stop 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "== program folder $app"
cmake --install build --prefix "$app" >/dev/null
# Block (mode 1) instead of the shipped bypass mode, on our own port.
sed -i -e 's/^run_mod=.*/run_mod=1/' -e "s/^filt_http_port=.*/filt_http_port=$FILTER_PORT/" \
  "$app/ostrum.cfg"
sed -i "s/^80=127.0.0.1:8080/$FILTER_PORT=127.0.0.1:$WEB_PORT/" "$app/netfilter2/netfilter.ini"

echo "== nginx on 127.0.0.1:$WEB_PORT"
mkdir -p "$work/nginx/html" "$work/nginx/tmp"
echo "hello from the web server" > "$work/nginx/html/index.html"
chmod -R a+rX "$work"
cat > "$nginx_conf" <<CONF
daemon on;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx/tmp;
  proxy_temp_path $work/nginx/tmp;
  fastcgi_temp_path $work/nginx/tmp;
  uwsgi_temp_path $work/nginx/tmp;
  scgi_temp_path $work/nginx/tmp;
  server { listen 127.0.0.1:$WEB_PORT; root $work/nginx/html; }
}
CONF
nginx -c "$nginx_conf"

echo "== install and start the service"
(cd "$app" && ./ostrum -i)
"$app/svcctl" start Ostrum
for _ in $(seq 50); do
  grep -q "ostrum start!" "$app/log/ostrum.log" 2>/dev/null && break
  sleep 0.1
done
"$app/svcctl" query Ostrum

url="http://127.0.0.1:$FILTER_PORT"
echo "== clean request: GET /?id=42"
curl -sS --max-time 5 "$url/?id=42"

echo "== attack: GET /?id=1%20union%20select%201,2"
if curl -sS --max-time 5 "$url/?id=1%20union%20select%201,2"; then
  echo "!! the attack was not blocked" >&2
  exit 1
fi
echo "(the connection was closed)"

echo "== attack log"
sleep 0.2
tail -n 1 "$app"/log/attack*.log
echo "== run log"
cat "$app/log/ostrum.log"

echo "== stop and remove"
"$app/svcctl" stop Ostrum
(cd "$app" && ./ostrum -u) || true
echo
