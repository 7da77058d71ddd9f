#!/usr/bin/env bash
# Requests per second of quorvix-service for GETIP and for a START of three domains, one TCP
# connection per request as the client makes them, side by side with nginx serving a fixed reply
# of the same size on another loopback port: a private instance with its own configuration, logs
# and pid file in a temporary folder, needing no root. Builds nothing: give it a built binary.
#
#   bench/service.sh [path/to/quorvix-service]
#
# Needs wrk, md5sum and nginx (nginx-light). Tunable through the environment: DURATION of each
# measurement (default 5s), ROUNDS (3), THREADS (2), CONNECTIONS (16). The servers take turns,
# ROUNDS times, so that a change in the machine's other load weighs on both alike. The last line
# printed is "service/nginx GETIP: A START3: B", the ratios of the requests per second.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
binary=${1:-$here/../build/default/service/quorvix-service}
duration=${DURATION:-5s}
rounds=${ROUNDS:-3}
threads=${THREADS:-2}
connections=${CONNECTIONS:-16}

die() {
  echo "service.sh: $*" >&2
  if [[ -n ${service_pid:-} ]]; then
    kill -0 "$service_pid" 2>/dev/null || echo "service.sh: the service is no longer running" >&2
    echo "service.sh: the service's last log lines:" >&2
    tail -n 5 "$data/service.log" >&2 || true
  fi
  exit 1
}

[[ -x $binary ]] || die "no executable at $binary (build the quorvix-service target first)"
command -v wrk >/dev/null || die "wrk is not installed"
command -v md5sum >/dev/null || die "md5sum is not installed"
nginx=$(PATH=$PATH:/usr/sbin:/sbin command -v nginx) || die "nginx is not installed (nginx-light)"

data=$(mktemp -d "${TMPDIR:-/tmp}/quorvix-service-bench.XXXXXX")
service_pid=
nginx_pid=
stop() {
  [[ -n $1 ]] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$service_pid"
  stop "$nginx_pid"
  rm -rf "$data"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

domains=(bench1.example.com bench2.example.net bench3.example.org)
passwords=('Bench-one-1' 'Bench|two#2' 'Bench three 3')
signing_key=TQ59WM37hd

list=
for i in "${!domains[@]}"; do
  printf '%s\n' "${passwords[$i]}" |
    "$binary" account add "${domains[$i]}" --password-stdin --data "$data" >/dev/null
  # The signature the client sends: upper-case hex MD5 of domain, password and key (ASCII).
  signature=$(printf '%s' "${domains[$i]}${passwords[$i]}${signing_key}" | md5sum | cut -d' ' -f1)
  list+="${domains[$i]}|${signature^^},"
done

# Port 0: the service takes a free port and names it in its first log line. Every wrk
# connection comes from one address: no per-address limit here.
"$binary" serve --port 0 --per-address 0 --data "$data" >"$data/service.log" 2>&1 &
service_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$data/service.log")
  [[ -n $port ]] && break
  kill -0 "$service_pid" 2>/dev/null || die "the service did not start: $(cat "$data/service.log")"
  sleep 0.1
done
[[ -n $port ]] || die "the service named no port"

getip_path="/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&"
start_path="/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&DomainList=$list"

# The whole reply to one request for a target on a port, as sent.
fetch() {
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  printf 'GET %s HTTP/1.1\r\nHost: ddns.quorvix.com\r\nConnection: close\r\n\r\n' "$2" >&3
  cat <&3
  exec 3<&-
}

# One START by hand first: the benchmark must measure accepted updates, not refusals.
fetch "$port" "$start_path" >"$data/start.reply"
expected="RET-DMLIST: ${domains[0]}|200,${domains[1]}|200,${domains[2]}|200,"
tr -d '\r' <"$data/start.reply" | grep -qxF "$expected" ||
  die "START was not accepted: $(cat "$data/start.reply")"
fetch "$port" "$getip_path" >"$data/getip.reply"
getip_size=$(wc -c <"$data/getip.reply")
start_size=$(wc -c <"$data/start.reply")

# nginx answers both paths with fixed replies; its headers differ from the service's, so bodies
# of padding make the sizes equal. Otherwise the same work: a worker per processor (the service
# runs a thread per processor) and an access-log line per request (the service logs each).
mkdir -p "$data/nginx/logs" "$data/nginx/temp"
write_nginx_conf() {
  cat >"$data/nginx/nginx.conf" <<EOF
worker_processes auto;
daemon off;
pid $data/nginx/nginx.pid;
error_log $data/nginx/logs/error.log;
events { worker_connections 1024; }
http {
  access_log $data/nginx/logs/access.log;
  client_body_temp_path $data/nginx/temp/body;
  proxy_temp_path $data/nginx/temp/proxy;
  fastcgi_temp_path $data/nginx/temp/fastcgi;
  uwsgi_temp_path $data/nginx/temp/uwsgi;
  scgi_temp_path $data/nginx/temp/scgi;
  server_tokens off;
  default_type text/plain;
  server {
    listen 127.0.0.1:$nginx_port;
    location = ${getip_path%%\?*} { return 200 "$1"; }
    location = ${start_path%%\?*} { return 200 "$2"; }
  }
}
EOF
}
start_nginx() {
  "$nginx" -p "$data/nginx" -c "$data/nginx/nginx.conf" 2>>"$data/nginx/logs/error.log" &
  nginx_pid=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && return 0
    kill -0 "$nginx_pid" 2>/dev/null || break
    sleep 0.1
  done
  stop "$nginx_pid"
  nginx_pid=
  return 1
}
padding() { printf '%*s' "$1" '' | tr ' ' x; }

# A free port: a few tried at random; nginx exits at once on a taken one.
for _ in $(seq 20); do
  nginx_port=$((30000 + RANDOM % 30000))
  (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && continue
  write_nginx_conf "" ""
  start_nginx && break
done
[[ -n $nginx_pid ]] || die "nginx did not start: $(tail -n 3 "$data/nginx/logs/error.log")"
# The padding changes Content-Length's digits too: adjust until the sizes agree.
getip_pad=0
start_pad=0
for _ in 1 2 3; do
  getip_off=$((getip_size - $(fetch "$nginx_port" "$getip_path" | wc -c)))
  start_off=$((start_size - $(fetch "$nginx_port" "$start_path" | wc -c)))
  ((getip_off == 0 && start_off == 0)) && break
  getip_pad=$((getip_pad + getip_off))
  start_pad=$((start_pad + start_off))
  ((getip_pad >= 0 && start_pad >= 0)) || die "nginx's bare replies are longer than the service's"
  stop "$nginx_pid"
  write_nginx_conf "$(padding "$getip_pad")" "$(padding "$start_pad")"
  start_nginx || die "nginx did not start again: $(tail -n 3 "$data/nginx/logs/error.log")"
done
((getip_off == 0 && start_off == 0)) || die "nginx's replies are not the size of the service's"
echo "reply bytes, both servers: GETIP $getip_size START $start_size" >&2

passive_opens() { awk '/^Tcp:/ { if (!n) { for (i = 1; i <= NF; i++) if ($i == "PassiveOpens") c = i; n = 1 } else print $c }' /proc/net/snmp; }

# Runs wrk; prints its report to stderr and the requests per second to stdout.
measure() {
  local name=$1 url=$2 before after report requests rps
  before=$(passive_opens)
  # "Connection: close" as the client sends it; both servers close after every reply too.
  report=$(wrk -t"$threads" -c"$connections" -d"$duration" -H 'Connection: close' "$url")
  after=$(passive_opens)
  echo "--- $name" >&2
  echo "$report" >&2
  if grep -q 'Non-2xx' <<<"$report"; then die "$name: the server refused requests"; fi
  requests=$(awk '/requests in/ { print $1 }' <<<"$report")
  rps=$(awk '/^Requests\/sec:/ { print $2 }' <<<"$report")
  [[ -n $requests && -n $rps ]] || die "$name: cannot read wrk's report"
  # Every request must have come on a connection of its own (the counter is per network
  # namespace, so others' connections can only add to it).
  ((after - before >= requests)) ||
    die "$name: $requests requests on only $((after - before)) connections"
  echo "$name: $requests requests on $((after - before)) new connections" >&2
  echo "$rps"
}

# Requests per second summed over the rounds, per server and request.
declare -A total=()
for round in $(seq "$rounds"); do
  for request in GETIP START; do
    path=getip_path
    [[ $request == START ]] && path=start_path
    for server in service nginx; do
      server_port=$port
      [[ $server == nginx ]] && server_port=$nginx_port
      rps=$(measure "$server $request (round $round)" "http://127.0.0.1:$server_port${!path}")
      total[$server $request]=$(awk -v a="${total[$server $request]:-0}" -v b="$rps" 'BEGIN { print a + b }')
    done
  done
done
# Each START the service logged must have accepted all three domains.
starts=$(grep -c '^[^ ]* START ' "$data/service.log" || true)
accepted=$(grep -cE '^[^ ]* START caller=[^ ]* mx=False( [^ ]*=200){3} ret=200$' "$data/service.log" || true)
((starts > 0 && starts == accepted)) || die "START accepted all domains $accepted times of $starts"
mean() { awk -v a="${total[$1]}" -v n="$rounds" 'BEGIN { printf "%.0f", a / n }'; }
echo "service rps GETIP: $(mean 'service GETIP') START3: $(mean 'service START')"
echo "nginx rps GETIP: $(mean 'nginx GETIP') START3: $(mean 'nginx START')"
awk -v a="${total[service GETIP]}" -v b="${total[nginx GETIP]}" \
  -v c="${total[service START]}" -v d="${total[nginx START]}" \
  'BEGIN { printf "service/nginx GETIP: %.2f START3: %.2f\n", a / b, c / d }'
