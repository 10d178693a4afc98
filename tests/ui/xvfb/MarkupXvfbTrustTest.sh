#!/usr/bin/env bash
# The markup of the real window on a real X server (Xvfb with a window manager), driven by
# xdotool as a user drives it: text selected with the mouse is copied (read back with xclip),
# highlighted with Ctrl+H, undone and redone; a note is added from the keyboard and typed;
# the highlight sidebar opens (as root its web views fall back instead of ending the
# program). The file stays byte-identical until Ctrl+S, and then holds what was made.
#   MarkupXvfbTrustTest.sh OMBRIX_PDF OMBRIX_CLI
set -euo pipefail
app="$1"
cli="$2"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/app.log" ] && tail -20 "$work/app.log" >&2
  exit 1
}

# Big lines over the whole page, so a drag anywhere in the middle of the view is on text.
{
  echo "%%MediaBox 0 0 612 792"
  echo "%%Font F1 Helvetica"
  for i in $(seq 0 15); do
    y=$((740 - i * 46))
    echo "BT /F1 30 Tf 40 $y Td (Line $i of text to mark up) Tj ET"
  done
} > "$work/page.txt"
mutool create -o "$work/marked.pdf" "$work/page.txt"
cp "$work/marked.pdf" "$work/opened.pdf"

# A free display number and a window manager with no mouse bindings of its own (Alt+drag
# is the program's).
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free X display"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
cat > "$work/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><mouse><context name="Frame"/></mouse>
<keyboard/></openbox_config>
XML
openbox --config-file "$work/rc.xml" >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# As a user runs it: no sandbox switches for the web engine.
unset QTWEBENGINE_DISABLE_SANDBOX QTWEBENGINE_CHROMIUM_FLAGS
"$app" --new-instance "$work/marked.pdf" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
window=""
for _ in $(seq 200); do
  window="$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the window never appeared"
xdotool windowmove "$window" 0 0 windowsize "$window" 1200 1000
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
sleep 2

unchanged() { cmp -s "$work/marked.pdf" "$work/opened.pdf"; }
key() { xdotool key "$@"; sleep 0.4; }

# Select part of a line in the middle of the view, and copy it. The page's text comes from
# a worker: a slow build may need the drag again once it is there.
copied=""
for _ in $(seq 10); do
  xdotool mousemove 150 560 mousedown 1 mousemove 400 562 mousemove 700 565 mouseup 1
  sleep 0.6
  key ctrl+c
  copied="$(xclip -o -selection clipboard 2>/dev/null || true)"
  case "$copied" in *"of text"*) break ;; esac
done
case "$copied" in
  *"of text"*) ;;
  *) fail "the selection was not copied (clipboard: '$copied')" ;;
esac

# Highlight it from the Edit menu's shortcut; undo and redo it.
key ctrl+h
unchanged || fail "the highlight was written to the file before Save"
key ctrl+z
key ctrl+shift+z
unchanged || fail "undo or redo wrote the file"

# A note from the Edit menu's shortcut, its text typed where it opens.
key ctrl+shift+n
xdotool type --delay 20 "typed in a real window"
key ctrl+Return
unchanged || fail "the note was written to the file before Save"

# The sidebar with its web views: as root the web engine cannot start; the window stays.
key ctrl+shift+h
sleep 2
kill -0 "$app_pid" 2>/dev/null || fail "opening the highlight sidebar ended the program"
unchanged || fail "opening the sidebar wrote the file"

key ctrl+s
for _ in $(seq 50); do unchanged || break; sleep 0.2; done
unchanged && fail "Ctrl+S did not write the file"
annotations="$("$cli" annotations "$work/marked.pdf")"
echo "$annotations" | grep -q '"type": "highlight"' || fail "no highlight saved: $annotations"
echo "$annotations" | grep -q 'typed in a real window' || fail "the note's text was not saved: $annotations"
key ctrl+q || true
echo "PASS: markup in the real window under Xvfb"
