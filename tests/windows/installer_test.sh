#!/usr/bin/env bash
# The installer under Wine: a silent install, the console client as installed (against a loopback
# scripted service, stopped by Ctrl-C, which Wine makes of SIGINT), a silent uninstall.
# Usage: installer_test.sh SETUP.exe, in a prepared WINEPREFIX.
set -euo pipefail
setup=$1 work=$(mktemp -d) failures=0
c=$WINEPREFIX/drive_c dir="$c/Program Files/quorvixDDNS" menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/quorvixDDNS"
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\quorvixDDNS' run='Software\Microsoft\Windows\CurrentVersion\Run'
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi; }
reg() { wine reg query "$@" 2>/dev/null | tr -d '\r' || true; }
# Replies with every value a command reads; STOP gets no reply, only a held connection.
python3 -c '
import socket, sys, time
s = socket.create_server(("127.0.0.1", 0)); s.settimeout(60)
print(s.getsockname()[1], flush=True)
while True:
    c, _ = s.accept(); r = c.recv(4096); sys.stderr.write(r.split(b"&")[0].decode() + "\n"); sys.stderr.flush()
    if b"STOP" in r: time.sleep(5)
    else: c.sendall(b"HTTP/1.1 200 OK\r\nRET-CODE: 200\r\nRET-DMLIST: a.com|200,\r\nY-IP: 192.0.2.7\r\nMajor: 1\r\nMinor: 1\r\n\r\n")
    c.close()' >"$work/port" 2>"$work/requests" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT

# Until the file holds the pattern COUNT times (bounded: a fault shows as a failed check).
await() { for _ in {1..300}; do (($(grep -c "$2" "$1") >= ${3:-1})) && return; sleep 0.1; done; }
# Wine makes Unix file names in the locale's character set, and the Chinese shortcut names need
# UTF-8 (zh_CN.UTF-8 sets the code page without being installed).
LC_ALL=C.UTF-8 wine "$setup" /S
d() { wine "$dir/quorvixddnsd.exe" "$@" </dev/null 2>>"$work/err" | tr -d '\r'; }
# A client in the background, its output in $work/NAME; then Ctrl-C, and its output as text
# followed by its exit status.
start() { wine "$dir/quorvixddnsd.exe" "$@" </dev/null >"$work/$1" 2>>"$work/err" & pid=$!; }
interrupt() {
  kill -INT $pid
  for _ in {1..100}; do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -KILL $pid 2>/dev/null || true  # still running after ten seconds: a fault
  wait $pid && echo "status 0" >>"$work/$1" || echo "status $?" >>"$work/$1"
  tr -d '\r' <"$work/$1" >"$work/$1.text"
}
await "$work/port" .
check "files" '[[ -f $dir/quorvixddnsd.exe && -f $dir/uninstall.exe && -f "$menu/quorvixddnsd 命令行.lnk" && -f "$menu/卸载 quorvixDDNS.lnk" ]]'
check "tray program and its shortcut, when built" '[[ -f $dir/quorvixDDNS.exe ]] && tray=1 || tray=0; [[ -f "$menu/quorvixDDNS.lnk" ]]; (($? != tray))'
check "uninstall key" 'reg "$uninstall" | grep -q "UninstallString    REG_SZ    \"C:\\\\Program Files\\\\quorvixDDNS\\\\uninstall.exe\"" && reg "$uninstall" /v DisplayVersion | grep -q "REG_SZ    1.1$"'
check "the installed client runs" '[[ "$(d --version)" == "quorvixddnsd 1.1" ]]'
d set server "127.0.0.1:$(head -1 "$work/port")"
check "add sends START" 'echo pw | wine "$dir/quorvixddnsd.exe" add a.com --password-stdin | tr -d "\r" | grep -q "域名a.com动态解析成功" && grep -q "^GET /.*Command=START$" "$work/requests"'
# The password prompt on a console, which Wine makes of a terminal: KEYS typed once it shows.
# (Wine's terminal console echoes nothing in any mode: the echo itself is not proven here.)
prompt() {
  python3 - "$dir/quorvixddnsd.exe" "$@" <<'EOF'
import os, pty, select, sys, time
pid, fd = pty.fork()
if pid == 0: os.execvp("wine", ["wine", sys.argv[1], "add", sys.argv[2]])
out, sent = b"", False
while select.select([fd], [], [], 30)[0]:
    try: out += os.read(fd, 4096)
    except OSError: break
    if not sent and b":" in out:
        time.sleep(1)  # until the prompt has turned the echo off
        os.write(fd, sys.argv[3].encode()); sent = True
os.kill(pid, 9)  # a client still waiting: a fault
print(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), b"secret" in out, b"quorvixddnsd:" in out)
EOF
}
check "password prompt: Ctrl-C cancels, Enter saves, the password never printed" '[[ "$(prompt b.com $'"'"'secret\x03'"'"') $(prompt c.com $'"'"'secret\r'"'"')" == "1 False True 0 False False" ]] && reg "HKLM\\Software\\QuorvixDDNS" /v domains | grep -q "REG_SZ    a.com|pw,c.com|secret,$"'
check "autorun runs in the background" 'd set autorun on && reg "HKLM\\$run" /v quorvixddnsd | grep -q "REG_SZ    \"C:\\\\Program Files\\\\quorvixDDNS\\\\quorvixddnsd.exe\" run --background$"'
for hive in HKLM HKCU; do wine reg add "$hive\\$run" /v quorvixDDNS /d x /f >/dev/null 2>&1; done
d set verbose on
start stop && await "$work/requests" Command=STOP && interrupt stop
# The wait broken off (WSAEINTR), not the service's close five seconds later.
check "Ctrl-C ends an exchange" 'grep -q "Socket error.10004$" "$work/stop.text" && grep -q "^status 1$" "$work/stop.text"'
starts=$(grep -c Command=START "$work/requests")
start run && await "$work/requests" Command=START $((starts + 1)) && interrupt run
check "Ctrl-C ends run" 'grep -q "quorvixddnsd(ver1.1)启动!$" "$work/run.text" && tail -2 "$work/run.text" | tr -d "\n" | grep -q "quorvixddnsd(ver1.1)停止!status 0$"'
# The log's last line, then what a refresh adds (from the ANSI code page), until Ctrl-C.
start log -n 1 --follow && await "$work/log" . && d refresh >/dev/null && await "$work/log" 解析成功 && interrupt log
check "log --follow" 'head -1 "$work/log.text" | grep -q "停止!$" && grep -q "	域名a.com动态解析成功$" "$work/log.text" && tail -1 "$work/log.text" | grep -q "^status 0$"'
code() { wine "$dir/quorvixddnsd.exe" "$@" </dev/null >/dev/null 2>&1 && echo 0 || echo $?; }
# The background option belongs to the Run entry's command alone.
check "exit statuses" '[[ "$(code refresh) $(code del b.com) $(code set mx maybe) $(code list --background)" == "0 1 2 2" ]]'
check "status" 'd status | grep -q "公网IP: 192.0.2.7 "'

# The uninstaller runs on from a copy of itself: wait until Wine has no process left.
LC_ALL=C.UTF-8 wine "$dir/uninstall.exe" /S && wineserver -w
check "removed" '[[ ! -e $dir && ! -e $menu ]] && ! reg "$uninstall" | grep -q REG_SZ'
check "Run entries removed" '! reg "HKLM\\$run" | grep -qi quorvix && ! reg "HKCU\\$run" | grep -qi quorvix'
check "settings kept" 'reg "HKLM\\Software\\QuorvixDDNS" /v domains | grep -q "a.com|pw,c.com|secret,"'
check "nothing on standard error" '[[ ! -s $work/err ]]'
exit $((failures > 0))
