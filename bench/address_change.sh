#!/usr/bin/env bash
# How soon the headless client updates the domains after the machine's network comes up, and
# how often an idle client wakes. Runs in a private network namespace (`unshare -rn`): the
# client starts while the loopback interface is down, so its start-up fails as at a login
# without network; then the interface comes up, and the time until the service holds the record
# is the early check's delay, the settling delay included.
#
#   bench/address_change.sh [build folder]   (default build/default, with quorvix-service and
#                                             quorvixddnsd-testable built)
#
# Then IDLE (default 30) seconds of idle watching. The last line printed is
# "address change to START: X ms; wake-ups of an idle client in N s: W".
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [[ ${QUORVIX_IN_NAMESPACE:-} != 1 ]]; then
  build=$(cd "${1:-$here/../build/default}" && pwd)
  QUORVIX_IN_NAMESPACE=1 exec unshare -rn "$0" "$build"
fi
build=$1
idle=${IDLE:-30}
service=$build/service/quorvix-service
daemon=$build/src/quorvixddnsd-testable
for program in "$service" "$daemon"; do
  [[ -x $program ]] || { echo "address_change.sh: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"
port=47099 domain=demo.example.com password=bench-$RANDOM

printf '%s\n' "$password" | "$service" account add "$domain" --password-stdin --data "$work/data"
# Any address: with the interface down there is no 127.0.0.1 to bind to yet.
"$service" serve --listen 0.0.0.0 --port "$port" --data "$work/data" >"$work/service.log" 2>&1 &
pids+=($!)
export QUORVIX_TEST_PORT=$port
printf '%s\n' "$password" | "$daemon" add "$domain" --password-stdin >/dev/null || true
"$daemon" set verbose on >/dev/null
"$daemon" run >"$work/daemon.log" 2>&1 &
daemon_pid=$!
pids+=($daemon_pid)

echo "== the client starts without network (three attempts ten seconds apart, about 30 s)"
for _ in $(seq 600); do
  grep -q "域名动态解析失败" "$work/daemon.log" 2>/dev/null && break  # the start-up's last line
  sleep 0.1
done
sleep 0.5
tail -n 2 "$work/daemon.log"

echo "== the network comes up"
start=$(date +%s%N)
ip link set lo up
for _ in $(seq 600); do
  "$service" records --data "$work/data" | grep -q "^$domain	127.0.0.1" && break
  sleep 0.02
done
end=$(date +%s%N)
"$service" records --data "$work/data" | grep "^$domain" || { echo "no update arrived" >&2; tail -n 5 "$work/daemon.log" >&2; exit 1; }
grep "提前检查\|更新IP" "$work/daemon.log" || true
delay=$(((end - start) / 1000000))

echo "== idle for $idle s"
switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$daemon_pid/status"; }
sleep 1
first=$(switches)
sleep "$idle"
wakes=$(($(switches) - first))
echo "address change to START: $delay ms; wake-ups of an idle client in $idle s: $wakes"
