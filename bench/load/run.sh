#!/usr/bin/env bash
# Load benchmark of the request path. In one run, with the same client (wrk)
# and the same two cores for each proxy: nginx directly, nginx as a plain
# reverse proxy, and Ostrum (blocking mode, about 100 rules) in front of it.
# Prints requests/s, p50/p99 latency, CPU time per request and the ratios.
# DETAIL_LOG=0 turns the per-request detail log off (it is on by default).
set -euo pipefail
cd "$(dirname "$0")/../.."

SECONDS_EACH=${SECONDS_EACH:-10}
CONNECTIONS=${CONNECTIONS:-64}
PROXY_CPUS=${PROXY_CPUS:-0,1}   # each proxy gets these two cores
WEB_CPUS=${WEB_CPUS:-2,3}       # the web server
CLIENT_CPUS=${CLIENT_CPUS:-4-7} # wrk
WEB_PORT=28081 NGINX_PROXY_PORT=28082 OSTRUM_PORT=28083

scripts/install-deps.sh
command -v wrk >/dev/null || { echo "wrk is needed: apt-get install wrk" >&2; exit 1; }
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target ostrum svcctl >/dev/null

work=$(mktemp -d /tmp/ostrum-load-XXXXXX)
app="$work/app"
export OSTRUM_SVC_ROOT="$work/registry"
cleanup() {
  set +e
  "$app/svcctl" stop Ostrum >/dev/null 2>&1
  (cd "$app" && ./ostrum -u >/dev/null 2>&1)
  for conf in "$work"/nginx-*.conf; do nginx -c "$conf" -s stop 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

nginx_conf() { # name port workers body
  local name=$1 port=$2 workers=$3 body=$4
  mkdir -p "$work/$name"
  cat > "$work/nginx-$name.conf" <<CONF
daemon on; worker_processes $workers; pid $work/$name/pid; error_log $work/$name/error.log;
events { worker_connections 4096; }
http { access_log off; keepalive_requests 1000000;
  client_body_temp_path $work/$name; proxy_temp_path $work/$name;
  fastcgi_temp_path $work/$name; uwsgi_temp_path $work/$name; scgi_temp_path $work/$name;
  upstream web { server 127.0.0.1:$WEB_PORT; keepalive 64; }
  server { listen 127.0.0.1:$port; $body }
}
CONF
}

mkdir -p "$work/html"
echo "hello from the web server" > "$work/html/index.html"
chmod -R a+rX "$work"
nginx_conf web $WEB_PORT 2 "root $work/html; error_page 405 =200 \$uri;"
nginx_conf proxy $NGINX_PROXY_PORT 2 \
  "location / { proxy_pass http://web; proxy_http_version 1.1; proxy_set_header Connection \"\"; }"
taskset -c "$WEB_CPUS" nginx -c "$work/nginx-web.conf"
taskset -c "$PROXY_CPUS" nginx -c "$work/nginx-proxy.conf"

cmake --install build --prefix "$app" >/dev/null
cp bench/load/RAWRULE.dat "$app/RAWRULE.dat"
sed -i -e 's/^run_mod=.*/run_mod=1/' -e "s/^filt_http_port=.*/filt_http_port=$OSTRUM_PORT/" \
  -e "s/^write_detaillog=.*/write_detaillog=${DETAIL_LOG:-1}/" "$app/ostrum.cfg"
cat > "$app/netfilter2/netfilter.ini" <<INI
[upstream]
$OSTRUM_PORT=127.0.0.1:$WEB_PORT
[setting]
listen=127.0.0.1
threads=2
INI
(cd "$app" && ./ostrum -i >/dev/null)
"$app/svcctl" start Ostrum >/dev/null
for _ in $(seq 100); do grep -q "ostrum start!" "$app/log/ostrum.log" 2>/dev/null && break; sleep 0.1; done
ostrum_pid=$(pgrep -n -f "^$app/ostrum" || pgrep -n -x ostrum)
taskset -a -cp "$PROXY_CPUS" "$ostrum_pid" >/dev/null
if grep -q "faild" "$app/log/ostrum.log"; then
  echo "!! some benchmark rules were refused:" >&2; grep faild "$app/log/ostrum.log" >&2
fi

cpu_ticks() { # sum of utime+stime of the given pids
  local total=0
  for pid in "$@"; do
    read -r -a f < "/proc/$pid/stat"
    total=$((total + f[13] + f[14]))
  done
  echo "$total"
}
proxy_pids() {
  case $1 in
    direct) pgrep -f "nginx: .*nginx-web.conf" ; pgrep -P "$(cat "$work/web/pid")" ;;
    nginx-proxy) cat "$work/proxy/pid"; pgrep -P "$(cat "$work/proxy/pid")" ;;
    ostrum) echo "$ostrum_pid" ;;
  esac
}
port_of() { case $1 in direct) echo $WEB_PORT ;; nginx-proxy) echo $NGINX_PROXY_PORT ;; ostrum) echo $OSTRUM_PORT ;; esac; }

# wrk's latency percentiles in microseconds.
to_us() { awk '{v=$1; if (v ~ /us$/) {sub(/us/,"",v); print v} else if (v ~ /ms$/) {sub(/ms/,"",v); print v*1000} else {sub(/s/,"",v); print v*1000000}}'; }

hz=$(getconf CLK_TCK)
declare -A rps p50 p99 cpu
for shape in plain query form; do
  script=()
  [ "$shape" = plain ] || script=(-s "bench/load/$shape.lua")
  for target in direct nginx-proxy ostrum; do
    url="http://127.0.0.1:$(port_of $target)/index.html"
    taskset -c "$CLIENT_CPUS" wrk -t4 -c"$CONNECTIONS" -d2s "${script[@]}" "$url" >/dev/null
    mapfile -t pids < <(proxy_pids $target)
    before=$(cpu_ticks "${pids[@]}")
    out=$(taskset -c "$CLIENT_CPUS" wrk -t4 -c"$CONNECTIONS" -d"${SECONDS_EACH}s" --latency "${script[@]}" "$url")
    after=$(cpu_ticks "${pids[@]}")
    requests=$(awk '/requests in/ {print $1}' <<<"$out")
    rps[$shape,$target]=$(awk '/Requests\/sec/ {printf "%.0f", $2}' <<<"$out")
    p50[$shape,$target]=$(awk '$1=="50%" {print $2}' <<<"$out" | to_us)
    p99[$shape,$target]=$(awk '$1=="99%" {print $2}' <<<"$out" | to_us)
    cpu[$shape,$target]=$(awk -v t=$((after - before)) -v hz="$hz" -v n="$requests" \
      'BEGIN {printf "%.1f", t / hz * 1e6 / n}')
    if awk '/Non-2xx|Socket errors/ {found=1} END {exit !found}' <<<"$out"; then
      echo "!! $shape via $target: $(grep -E 'Non-2xx|Socket errors' <<<"$out")" >&2
    fi
  done
done

attacks=$(cat "$app"/log/attack*.log 2>/dev/null | grep -vc '^#' || true)
printf '\n%-6s %-12s %10s %10s %10s %12s\n' shape target req/s p50_us p99_us cpu_us/req
for shape in plain query form; do
  for target in direct nginx-proxy ostrum; do
    printf '%-6s %-12s %10s %10s %10s %12s\n' "$shape" "$target" "${rps[$shape,$target]}" \
      "${p50[$shape,$target]}" "${p99[$shape,$target]}" "${cpu[$shape,$target]}"
  done
done
printf '\n%-6s %18s %18s %20s\n' shape ostrum/nginx-proxy ostrum/direct "p50 added over proxy"
for shape in plain query form; do
  awk -v o="${rps[$shape,ostrum]}" -v n="${rps[$shape,nginx-proxy]}" -v d="${rps[$shape,direct]}" \
      -v po="${p50[$shape,ostrum]}" -v pn="${p50[$shape,nginx-proxy]}" -v s="$shape" \
      'BEGIN {printf "%-6s %18.2f %18.2f %17.0f us\n", s, o/n, o/d, po-pn}'
done
echo "attack-log records during the run (should be 0 or a few empty lines): $attacks"
