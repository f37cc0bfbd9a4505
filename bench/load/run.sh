#!/usr/bin/env bash
# Load benchmark of the request path. In one run, with the same client (wrk)
# and two cores for each proxy: the web server directly, nginx as a plain
# reverse proxy, and Ostrum (run_mod 1, the shipped files) in front of it;
# three shapes (plain.lua, query.lua, form.lua). Prints the median of RUNS
# runs: requests/s, latency percentiles, CPU time per request and the ratios;
# then the time of one worst-case request (a large form of many fields).
#   RULES=file      the attack rules (default: the shipped dist/RAWRULE.dat
#                   once it holds a real rule set, else bench/load/RAWRULE.dat
#                   without rule 1066, which every browser's Accept-Language hits)
#   DETAIL_LOG=0    the detail log off (the shipped setting is on)
#   SHAPES, TARGETS  a part of the run, e.g. SHAPES=query TARGETS=ostrum for perf
#   RUNS, SECONDS_EACH, CONNECTIONS, PROXY_CPUS, WEB_CPUS, CLIENT_CPUS,
#   WEB_PORT, NGINX_PROXY_PORT, OSTRUM_PORT
set -euo pipefail
cd "$(dirname "$0")/../.."

RUNS=${RUNS:-3}
SECONDS_EACH=${SECONDS_EACH:-6}
CONNECTIONS=${CONNECTIONS:-64}
PROXY_CPUS=${PROXY_CPUS:-2,3}   # each proxy gets these two cores
WEB_CPUS=${WEB_CPUS:-0,1}       # the web server
CLIENT_CPUS=${CLIENT_CPUS:-4-7} # wrk
# The rule count below which dist/RAWRULE.dat is taken for examples only.
MIN_SHIPPED_RULES=50
WEB_PORT=${WEB_PORT:-28081} NGINX_PROXY_PORT=${NGINX_PROXY_PORT:-28082} OSTRUM_PORT=${OSTRUM_PORT:-28083}

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j3 --target ostrum svcctl >/dev/null

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

nginx_conf() { # name port body
  local name=$1 port=$2 body=$3
  mkdir -p "$work/$name"
  cat > "$work/nginx-$name.conf" <<CONF
daemon on; worker_processes 2; pid $work/$name/pid; error_log $work/$name/error.log;
events { worker_connections 4096; }
http { access_log off; keepalive_requests 1000000; client_max_body_size 2m;
  large_client_header_buffers 4 128k;
  client_body_temp_path $work/$name; proxy_temp_path $work/$name;
  fastcgi_temp_path $work/$name; uwsgi_temp_path $work/$name; scgi_temp_path $work/$name;
  upstream web { server 127.0.0.1:$WEB_PORT; keepalive 64; }
  server { listen 127.0.0.1:$port; $body }
}
CONF
}

nginx_conf web $WEB_PORT "location / { default_type text/plain; return 200 \"hello from the web server\n\"; }"
nginx_conf proxy $NGINX_PROXY_PORT \
  "location / { proxy_pass http://web; proxy_http_version 1.1; proxy_set_header Connection \"\"; }"
chmod -R a+rX "$work"
taskset -c "$WEB_CPUS" nginx -c "$work/nginx-web.conf"
taskset -c "$PROXY_CPUS" nginx -c "$work/nginx-proxy.conf"

cmake --install build --prefix "$app" >/dev/null
shipped=$(grep -c '^RAWRULE' dist/RAWRULE.dat || true)
if [ -n "${RULES:-}" ]; then
  cp "$RULES" "$app/RAWRULE.dat"
elif [ "$shipped" -lt "$MIN_SHIPPED_RULES" ]; then
  grep -v '"1066,' bench/load/RAWRULE.dat > "$app/RAWRULE.dat"
fi
sed -i -e 's/^run_mod=.*/run_mod=1/' -e "s/^filt_http_port=.*/filt_http_port=$OSTRUM_PORT/" \
  "$app/ostrum.cfg"
[ -z "${DETAIL_LOG:-}" ] || sed -i "s/^write_detaillog=.*/write_detaillog=$DETAIL_LOG/" "$app/ostrum.cfg"
sed -i -e "s/^80=.*/$OSTRUM_PORT=127.0.0.1:$WEB_PORT/" -e 's/^listen=.*/listen=127.0.0.1/' \
  -e 's/^threads=.*/threads=2/' "$app/netfilter2/netfilter.ini"
(cd "$app" && ./ostrum -i >/dev/null)
"$app/svcctl" start Ostrum >/dev/null
for _ in $(seq 100); do grep -q "ostrum start!" "$app/log/ostrum.log" 2>/dev/null && break; sleep 0.1; done
ostrum_pid=$(pgrep -n -f "^$app/ostrum")
taskset -a -cp "$PROXY_CPUS" "$ostrum_pid" >/dev/null
echo "rules: $(grep -c '^RAWRULE' "$app/RAWRULE.dat"), detail log: $(grep '^write_detaillog' "$app/ostrum.cfg")"
if grep -q "faild" "$app/log/ostrum.log"; then
  echo "!! some rules were refused:" >&2; grep faild "$app/log/ostrum.log" >&2
fi

cpu_ticks() { # utime+stime of the given pids
  local total=0
  for pid in "$@"; do
    read -r -a f < "/proc/$pid/stat"
    total=$((total + f[13] + f[14]))
  done
  echo "$total"
}
pids_of() {
  case $1 in
    direct) cat "$work/web/pid"; pgrep -P "$(cat "$work/web/pid")" ;;
    nginx-proxy) cat "$work/proxy/pid"; pgrep -P "$(cat "$work/proxy/pid")" ;;
    ostrum) echo "$ostrum_pid" ;;
  esac
}
port_of() { case $1 in direct) echo $WEB_PORT ;; nginx-proxy) echo $NGINX_PROXY_PORT ;; ostrum) echo $OSTRUM_PORT ;; esac; }
field() { sed -n "s/.* $1=\([0-9.]*\).*/\1/p"; }
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR + 1) / 2)]}'; }

hz=$(getconf CLK_TCK)
read -r -a targets <<<"${TARGETS:-direct nginx-proxy ostrum}"
read -r -a shapes <<<"${SHAPES:-plain query form}"
declare -A result
# The targets take turns run by run, so that the machine's drift over a
# shape's runs falls on each of them alike.
for shape in "${shapes[@]}"; do
  cat "bench/load/$shape.lua" bench/load/report.lua > "$work/$shape.lua"
  for target in "${targets[@]}"; do
    taskset -c "$CLIENT_CPUS" wrk -t4 -c"$CONNECTIONS" -d2s -s "$work/$shape.lua" \
      "http://127.0.0.1:$(port_of "$target")" >/dev/null
  done
  for run in $(seq "$RUNS"); do
    for target in "${targets[@]}"; do
      url="http://127.0.0.1:$(port_of "$target")"
      mapfile -t pids < <(pids_of "$target")
      before=$(cpu_ticks "${pids[@]}")
      line=$(taskset -c "$CLIENT_CPUS" wrk -t4 -c"$CONNECTIONS" -d"${SECONDS_EACH}s" \
        -s "$work/$shape.lua" "$url" | grep '^RESULT')
      after=$(cpu_ticks "${pids[@]}")
      n=$(field requests <<<"$line")
      cpu=$(awk -v t=$((after - before)) -v hz="$hz" -v n="$n" 'BEGIN {printf "%.1f", t / hz * 1e6 / n}')
      result[$shape,$target,$run]="$line cpu_us=$cpu"
      errors=$(for k in non2xx err_connect err_read err_write err_timeout; do field $k <<<"$line"; done |
        awk '{s += $1} END {print s}')
      [ "$errors" = 0 ] || echo "!! $shape via $target, run $run: $line" >&2
    done
  done
done

med() { # shape target field: the median over the runs
  for run in $(seq "$RUNS"); do field "$3" <<<"${result[$1,$2,$run]}"; done | median
}
printf '\nmedian of %s runs of %ss, wrk -t4 -c%s\n' "$RUNS" "$SECONDS_EACH" "$CONNECTIONS"
printf '%-6s %-12s %9s %8s %8s %8s %12s\n' shape target req/s p50_us p90_us p99_us cpu_us/req
for shape in "${shapes[@]}"; do
  for target in "${targets[@]}"; do
    printf '%-6s %-12s %9.0f %8s %8s %8s %12s\n' "$shape" "$target" "$(med "$shape" "$target" rps)" \
      "$(med "$shape" "$target" p50_us)" "$(med "$shape" "$target" p90_us)" \
      "$(med "$shape" "$target" p99_us)" "$(med "$shape" "$target" cpu_us)"
  done
done
[ ${#targets[@]} -eq 3 ] || exit 0
printf '\n%-6s %18s %14s %22s\n' shape ostrum/nginx-proxy ostrum/direct "p50 added over proxy"
for shape in "${shapes[@]}"; do
  awk -v o="$(med "$shape" ostrum rps)" -v n="$(med "$shape" nginx-proxy rps)" \
      -v d="$(med "$shape" direct rps)" -v po="$(med "$shape" ostrum p50_us)" \
      -v pn="$(med "$shape" nginx-proxy p50_us)" -v s="$shape" \
      'BEGIN {printf "%-6s %18.2f %14.2f %19.0f us\n", s, o / n, o / d, po - pn}'
done

# The worst case of a held request: a form of 100,000 fields behind a 60 KB
# URL, just under the 1 MiB a request may have to be inspected.
python3 - "$work/worst.body" <<'PY'
import sys
fields = "&".join("f%d=v" % i for i in range(100000))
open(sys.argv[1], "w").write(fields + "&pad=" + "x" * (880000 - len(fields)))
PY
worst_url="/$(head -c 60000 /dev/zero | tr '\0' a)"
printf '\nworst-case request (%s KB body, 60 KB URL), seconds, median of 3:\n' \
  "$(($(stat -c %s "$work/worst.body") / 1024))"
for target in nginx-proxy ostrum; do
  for _ in 1 2 3; do
    curl -s -o /dev/null -w '%{time_total}\n' --max-time 120 -H "Content-Type: application/x-www-form-urlencoded" \
      --data-binary "@$work/worst.body" "http://127.0.0.1:$(port_of $target)$worst_url"
  done | median | xargs printf '%-12s %s\n' "$target"
done
attacks=$(cat "$app"/log/attack*.log 2>/dev/null | grep -vc '^#' || true)
echo "attack-log records during the run (0 expected): $attacks"
