#!/usr/bin/env bash
# Requests per second of quorvix-service for GETIP and for a START of three domains, one TCP
# connection per request as the client makes them. Builds nothing: give it a built binary.
#
#   bench/service.sh [path/to/quorvix-service]
#
# Needs wrk and md5sum. Tunable through the environment: DURATION (default 10s), THREADS (2),
# CONNECTIONS (16). The last line printed is "service GETIP rps: A START rps: B".
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
binary=${1:-$here/../build/default/service/quorvix-service}
duration=${DURATION:-10s}
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

data=$(mktemp -d "${TMPDIR:-/tmp}/quorvix-service-bench.XXXXXX")
service_pid=
cleanup() {
  if [[ -n $service_pid ]]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
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

# Port 0: the service takes a free port and names it in its first log line.
"$binary" serve --port 0 --data "$data" >"$data/service.log" 2>&1 &
service_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$data/service.log")
  [[ -n $port ]] && break
  kill -0 "$service_pid" 2>/dev/null || die "the service did not start: $(cat "$data/service.log")"
  sleep 0.1
done
[[ -n $port ]] || die "the service named no port"

getip="http://127.0.0.1:$port/quorvixDDNS_GETUserIp.asp?Command=GETIP&glbMX=False&"
start="http://127.0.0.1:$port/QUORVIXDDNS/quorvixDDNS_server.asp?Command=START&glbMX=False&DomainList=$list"

# One START by hand first: the benchmark must measure accepted updates, not refusals.
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'GET %s HTTP/1.1\r\nHost: ddns.quorvix.com\r\nConnection: close\r\n\r\n' "${start#http://127.0.0.1:"$port"}" >&3
reply=$(tr -d '\r' <&3)
exec 3<&-
expected="RET-DMLIST: ${domains[0]}|200,${domains[1]}|200,${domains[2]}|200,"
grep -qxF "$expected" <<<"$reply" || die "START was not accepted: $reply"

passive_opens() { awk '/^Tcp:/ { if (!n) { for (i = 1; i <= NF; i++) if ($i == "PassiveOpens") c = i; n = 1 } else print $c }' /proc/net/snmp; }

# Runs wrk; prints its report to stderr and the requests per second to stdout.
measure() {
  local name=$1 url=$2 before after report requests rps
  before=$(passive_opens)
  # "Connection: close" as the client sends it; the service closes after every reply too.
  report=$(wrk -t"$threads" -c"$connections" -d"$duration" -H 'Connection: close' "$url")
  after=$(passive_opens)
  echo "--- $name" >&2
  echo "$report" >&2
  if grep -q 'Non-2xx' <<<"$report"; then die "$name: the service refused requests"; fi
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

getip_rps=$(measure GETIP "$getip")
start_rps=$(measure START "$start")
# Each START the service logged must have accepted all three domains.
starts=$(grep -c '^[^ ]* START ' "$data/service.log" || true)
accepted=$(grep -cE '^[^ ]* START caller=[^ ]* mx=False( [^ ]*=200){3} ret=200$' "$data/service.log" || true)
((starts > 0 && starts == accepted)) || die "START accepted all domains $accepted times of $starts"
echo "service GETIP rps: $getip_rps START rps: $start_rps"
