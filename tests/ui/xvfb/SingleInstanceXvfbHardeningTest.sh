#!/usr/bin/env bash
# The single-instance socket on a real X server (Xvfb with a window manager) with a second
# local user (uid 54321, no account needed) who wants the files the first one opens. It
# listens first where a predictable socket would be, plants a listener inside the user's
# own runtime folder, and runs its own instance on the same display. The user's
# `ombrix-pdf FILE` must still show its window, the squatter must hear nothing, and a
# second launch of the same user must hand its file to the first window (one window, a
# second tab). Needs root, to become the other user; exits 77 (skipped) otherwise.
#   SingleInstanceXvfbHardeningTest.sh OMBRIX_PDF
set -euo pipefail
app="$1"
other=54321
if [ "$(id -u)" != 0 ]; then
  echo "SKIP: needs root to run a second user (uid $other)"
  exit 77
fi
work="$(mktemp -d)"
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.log "$work"/other/*.log "$work"/other/*.heard; do
    [ -f "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }
  done
  exit 1
}
as_other=(setpriv --reuid "$other" --regid "$other" --clear-groups --)

page() {
  { echo "%%MediaBox 0 0 612 792"; echo "%%Font F1 Helvetica"
    echo "BT /F1 40 Tf 60 700 Td ($1) Tj ET"; } > "$work/page.txt"
  mutool create -o "$2" "$work/page.txt"
}
mkdir -p "$work/other/run" "$work/other/home" "$work/run" "$work/home"
page "First file" "$work/first.pdf"
page "Second file" "$work/second.pdf"
page "Their file" "$work/other/theirs.pdf"
chown -R "$other:$other" "$work/other"
chmod 700 "$work/other/run" "$work/run"

# A free display number and a window manager.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free X display"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 0.5
export QT_QPA_PLATFORM=xcb
# No web view here, so no OpenGL: Mesa's software driver, unloaded at exit, would leave the
# leak checker a buffer it cannot trace back to any library.
export QT_XCB_GL_INTEGRATION=none
unset QTWEBENGINE_DISABLE_SANDBOX QTWEBENGINE_CHROMIUM_FLAGS
name="ombrix-pdf-x11-$display" # the socket's name for this display

# The squatter: listens at a path, writes down every byte it is sent, and answers "ok"
# as the real instance would, so a launch that trusted it would exit without a window.
cat > "$work/squat.py" <<'PY'
import os, socket, sys
path, heard = sys.argv[1], sys.argv[2]
server = socket.socket(socket.AF_UNIX)
server.bind(path)
server.listen(8)
open(heard, "wb").close()
open(heard + ".ready", "w").close()
while True:
    client, _ = server.accept()
    client.settimeout(2)
    message = b""
    try:
        while not message.endswith(b"\n\n"):
            data = client.recv(65536)
            if not data:
                break
            message += data
        if message.endswith(b"\n\n"):
            client.sendall(b"ok\n")
    except OSError:
        pass
    with open(heard, "ab") as f:
        f.write(message)
    client.close()
PY
chmod 644 "$work/squat.py"
squat() { # PATH HEARD: a squatter of the other user's, once it listens
  "${as_other[@]}" /usr/bin/python3 "$work/squat.py" "$1" "$2" >/dev/null 2>&1 &
  pids+=($!)
  squatter=$!
  for _ in $(seq 50); do [ -e "$2.ready" ] && return; sleep 0.1; done
  fail "the squatter could not listen at $1"
}
user_env=(env HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/config"
  XDG_DATA_HOME="$work/home/data" XDG_CACHE_HOME="$work/home/cache")
window_of() { # PID: its visible window, waiting for it
  local window=""
  for _ in $(seq 150); do
    window="$(xdotool search --all --onlyvisible --pid "$1" --name 'Ombrix PDF' 2>/dev/null | head -1 || true)"
    [ -n "$window" ] && { echo "$window"; return; }
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
}
heard_nothing() { [ ! -s "$1" ] || fail "the other user's listener was sent: $(head -c 300 "$1")"; }

# 1. Inside the user's own runtime folder (only root could have put it there): the launch
#    asks who listens, sends nothing, and runs on its own.
squat "$work/other/planted" "$work/other/planted.heard"
mv "$work/other/planted" "$work/run/$name"
"${user_env[@]}" "$app" "$work/first.pdf" >"$work/planted-app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
window="$(window_of "$app_pid")"
[ -n "$window" ] || fail "with a listener of another user in the runtime folder, no window appeared"
heard_nothing "$work/other/planted.heard"
[ -S "$work/run/$name" ] || fail "the other user's live socket was removed"
echo "ok: another user's listener in the runtime folder got nothing; the window appeared"
kill "$app_pid" "$squatter"
wait "$app_pid" "$squatter" 2>/dev/null || true
rm -f "$work/run/$name"

# 2. The other user listens where a predictable name in the shared temporary folder would
#    be, and runs an instance of its own on the same display.
predictable=/tmp/ombrix-pdf-$(id -u)
# A socket file nobody listens on (an instance killed earlier) is no one's.
/usr/bin/python3 - "$predictable" <<'PY' || true
import os, socket, sys
try:
    socket.socket(socket.AF_UNIX).connect(sys.argv[1])
except ConnectionRefusedError:
    os.unlink(sys.argv[1])
except OSError:
    pass
PY
if [ -e "$predictable" ]; then
  echo "note: $predictable is taken by someone; no squatter there"
else
  trap 'rm -f "$predictable"; cleanup' EXIT
  squat "$predictable" "$work/other/tmp.heard"
fi
"${as_other[@]}" env HOME="$work/other/home" XDG_RUNTIME_DIR="$work/other/run" \
  "$app" "$work/other/theirs.pdf" >"$work/other/theirs-app.log" 2>&1 &
theirs_pid=$!
pids+=($theirs_pid)
theirs="$(window_of "$theirs_pid")"
[ -n "$theirs" ] || fail "the other user's own instance did not start"

"${user_env[@]}" "$app" "$work/first.pdf" >"$work/first-app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
window="$(window_of "$app_pid")"
[ -n "$window" ] || fail "the user's window never appeared"
# The window may show before its document has opened (slowly, in the sanitizer build).
for _ in $(seq 100); do
  case "$(xdotool getwindowname "$window")" in first*) break ;; esac
  sleep 0.1
done
case "$(xdotool getwindowname "$window")" in
  first*) ;;
  *) fail "the user's window shows '$(xdotool getwindowname "$window")'" ;;
esac

# The same user's second launch hands its file over and ends.
start=$(date +%s%N)
"${user_env[@]}" timeout 20 "$app" "$work/second.pdf" >"$work/second-app.log" 2>&1 ||
  fail "the second launch did not end well (status $?)"
handover_ms=$(( ($(date +%s%N) - start) / 1000000 ))
for _ in $(seq 100); do
  case "$(xdotool getwindowname "$window")" in second*) break ;; esac
  sleep 0.1
done
case "$(xdotool getwindowname "$window")" in
  second*) ;;
  *) fail "the handed-over file did not open in the first window ('$(xdotool getwindowname "$window")')" ;;
esac
mine="$(xdotool search --onlyvisible --name 'Ombrix PDF' | while read -r w; do
  [ "$(xdotool getwindowpid "$w")" = "$app_pid" ] && echo "$w"; done | wc -l)"
[ "$mine" = 1 ] || fail "the user has $mine windows, not one"
kill -0 "$app_pid" || fail "the first instance ended"
case "$(xdotool getwindowname "$theirs")" in
  theirs*) ;;
  *) fail "the file went to the other user's instance ('$(xdotool getwindowname "$theirs")')" ;;
esac
heard_nothing "$work/other/tmp.heard"
echo "ok: second launch handed its file over in ${handover_ms} ms; one window, now showing 'second'"
# The second tab, on screen.
if [ -n "${OMBRIX_XVFB_SHOT:-}" ]; then
  convert x:root "$OMBRIX_XVFB_SHOT" 2>/dev/null || echo "note: no screenshot taken"
fi
echo "PASS: another local user neither receives the files nor keeps the window from appearing"
